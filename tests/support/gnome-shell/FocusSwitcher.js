// What both forms of the tests' switcher do; the build puts it between each form's imports and
// its entry point.
//
// The person at a GNOME Shell in the tests: Focus(application) gives the focus to the window of
// that application id (its Wayland app id); QuitApplicationOf(title) quits the application GNOME
// ties the window of that title to, as the shell's own Quit does (the dash's, the overview's, the
// application grid's menu), and names it: nothing until the shell has read that application's
// actions, which a person's click comes long after.
const SWITCHER_INTERFACE = `
<node>
  <interface name="org.quillfen.Test.FocusSwitcher">
    <method name="Focus">
      <arg name="application" type="s" direction="in"/>
    </method>
    <method name="QuitApplicationOf">
      <arg name="title" type="s" direction="in"/>
      <arg name="application" type="s" direction="out"/>
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
        QuitApplicationOf(title) {
            for (const actor of global.get_window_actors()) {
                if (actor.meta_window.get_title() !== title)
                    continue;
                const app = Shell.WindowTracker.get_default().get_window_app(actor.meta_window);
                if (!app?.action_group?.has_action('app.quit'))
                    return '';
                app.request_quit();
                return app.get_id();
            }
            return '';
        },
    });
    object.export(Gio.DBus.session, '/org/quillfen/Test/FocusSwitcher');
    return object;
}
