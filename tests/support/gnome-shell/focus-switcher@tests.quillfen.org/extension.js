// The person at a GNOME Shell in the tests: Focus(application) gives the focus to the window of
// that application id (its Wayland app id).
const {Gio} = imports.gi;

const SWITCHER_INTERFACE = `
<node>
  <interface name="org.quillfen.Test.FocusSwitcher">
    <method name="Focus">
      <arg name="application" type="s" direction="in"/>
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

    Focus(application) {
        for (const actor of global.get_window_actors()) {
            if (actor.meta_window.get_wm_class() === application)
                actor.meta_window.activate(global.display.get_current_time_roundtrip());
        }
    }
}

function init() {
    return new FocusSwitcher();
}
