// What both forms of the extension do; the build puts it between each form's imports and its
// entry point.
//
// The focused application's id, and nothing else of its window, goes out on the session bus
// with each change of focus, so that Quillfen can count the switches between applications.
const FOCUS_PATH = '/org/quillfen/Quillfen/Focus';
const FOCUS_INTERFACE = `
<node>
  <interface name="org.quillfen.Quillfen.Focus">
    <method name="FocusedApplication">
      <arg name="application" type="s" direction="out"/>
    </method>
    <signal name="FocusChanged">
      <arg name="application" type="s"/>
    </signal>
  </interface>
</node>`;

class FocusReporter {
    enable() {
        this._object = Gio.DBusExportedObject.wrapJSObject(FOCUS_INTERFACE, this);
        this._object.export(Gio.DBus.session, FOCUS_PATH);
        this._focus = global.display.connect('notify::focus-window', () => {
            const application = this.FocusedApplication();
            if (application)
                this._object.emit_signal('FocusChanged', new GLib.Variant('(s)', [application]));
        });
    }

    disable() {
        global.display.disconnect(this._focus);
        this._object.unexport();
        this._object = null;
    }

    // The id the window gives its application (its Wayland app id, its X11 class), never its title.
    FocusedApplication() {
        const window = global.display.focus_window;
        if (!window)
            return '';
        return window.get_wm_class() || `window:${window.get_id()}`;
    }
}
