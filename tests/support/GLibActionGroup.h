#pragma once

#include <string>
#include <vector>

namespace quillfen::test {

// gjs reading the actions on `path` of the bus client `name` as GLib's action groups read them
// (GNOME Shell's, for an application's Quit, among them), on the session bus of its environment:
// it writes one line to its standard output for each action, its name and its parameter type
// ("none" where it takes none), then activates `activate`, when one is named, as GLib does.
inline std::vector<std::string> glibActionGroupReader(const std::string& name, const std::string& path,
                                                      const std::string& activate = {}) {
    return {"/usr/bin/gjs", "-c",
            R"js(
const {Gio, GLib} = imports.gi;
const [name, path, activate] = ARGV;
const group = Gio.DBusActionGroup.get(Gio.DBus.session, name, path);
const loop = new GLib.MainLoop(null, false);
let looks = 0;
// The first look starts the reading; the actions come with the answer.
group.list_actions();
GLib.timeout_add(GLib.PRIORITY_DEFAULT, 50, () => {
    if (group.list_actions().length === 0 && ++looks < 400)
        return GLib.SOURCE_CONTINUE;
    loop.quit();
    return GLib.SOURCE_REMOVE;
});
loop.run();
for (const action of group.list_actions().sort()) {
    const type = group.get_action_parameter_type(action);
    print(`${action} ${type === null ? 'none' : type.dup_string()}`);
}
if (activate) {
    group.activate_action(activate, null);
    Gio.DBus.session.flush_sync(null);
}
)js",          name, path, activate};
}

}  // namespace quillfen::test
