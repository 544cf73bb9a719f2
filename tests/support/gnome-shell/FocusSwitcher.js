// What both forms of the tests' switcher do; the build puts it between each form's imports and
// its entry point.
//
// The person at a GNOME Shell in the tests: Focus(application) gives the focus to the window of
// that application id (its Wayland app id).
const SWITCHER_INTERFACE = `
<node>
  <interface name="org.quillfen.Test.FocusSwitcher">
    <method name="Focus">
      <arg name="application" type="s" direction="in"/>
    </method>
  </interface>
</node>`;

// On the session bus until the form's disable() unexports what this returns.
function exportSwitcher() {
    const object = Gio.DBusExportedObject.wrapJSObject(SWITCHER_INTERFACE, {
        Focus(application) {
            for (const actor of global.get_window_actors()) {
                if (actor.meta_window.get_wm_class() === application)
                    actor.meta_window.activate(global.display.get_current_time_roundtrip());
            }
        },
    });
    object.export(Gio.DBus.session, '/org/quillfen/Test/FocusSwitcher');
    return object;
}
