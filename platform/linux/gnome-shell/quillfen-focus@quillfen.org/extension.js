// GNOME Shell 45 and later load an extension as a module; 43 and 44 as a script, the form of
// quillfen-focus-43@quillfen.org. What the two do is the same, word for word.
import Gio from 'gi://Gio';
import GLib from 'gi://GLib';
import {Extension} from 'resource:///org/gnome/shell/extensions/extension.js';

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

export default class QuillfenFocusExtension extends Extension {
    enable() {
        this._reporter = new FocusReporter();
        this._reporter.enable();
    }

    disable() {
        this._reporter.disable();
        this._reporter = null;
    }
}
