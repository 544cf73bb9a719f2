// The person at a GNOME Shell in the tests: Switch(times) gives the focus to the two test windows
// (application ids beginning "org.example.") by turns, starting with the one behind.
const {Gio} = imports.gi;

const SWITCHER_INTERFACE = `
<node>
  <interface name="org.quillfen.Test.FocusSwitcher">
    <method name="Switch">
      <arg name="times" type="i" direction="in"/>
    </method>
  </interface>
</node>`;

class FocusSwitcher {
    enable() {
        this._object = Gio.DBusExportedObject.wrapJSObject(SWITCHER_INTERFACE, this);
        this._object.export(Gio.DBus.session, '/org/quillfen/Test/FocusSwitcher');
    }

    disable() {
        this._object.unexport();
    }

    Switch(times) {
        const windows = global.get_window_actors().map(actor => actor.meta_window)
            .filter(window => (window.get_wm_class() || '').startsWith('org.example.'));
        if (windows[0].has_focus())
            windows.reverse();
        for (let i = 0; i < times; ++i)
            windows[i % 2].activate(global.display.get_current_time_roundtrip());
    }
}

function init() {
    return new FocusSwitcher();
}
