'''Mutter IdleMonitor mock: the core monitor reports the idle time the test sets, and fires its
watches as Mutter does.

Parameter: "idletime" in milliseconds (default 0). The mock method SetIdletime(ms)
changes it: a smaller count is input, which fires every user-active watch once (and removes it);
a count that reaches an idle watch's interval from below fires that watch.
'''

import dbus

from dbusmock import MOCK_IFACE

BUS_NAME = 'org.gnome.Mutter.IdleMonitor'
MAIN_OBJ = '/org/gnome/Mutter/IdleMonitor/Core'
MAIN_IFACE = 'org.gnome.Mutter.IdleMonitor'
SYSTEM_BUS = False


def load(mock, parameters):
    mock.idletime = dbus.UInt64(parameters.get('idletime', 0))
    # Watch number -> its interval in milliseconds; 0 for a watch of the next input.
    mock.watches = {}
    mock.next_watch = 1
    mock.AddMethods(MAIN_IFACE, [
        ('GetIdletime', '', 't', 'ret = self.idletime'),
        ('AddIdleWatch', 't', 'u',
         'ret = dbus.UInt32(self.next_watch); self.watches[self.next_watch] = int(args[0]); self.next_watch += 1'),
        ('AddUserActiveWatch', '', 'u',
         'ret = dbus.UInt32(self.next_watch); self.watches[self.next_watch] = 0; self.next_watch += 1'),
        ('RemoveWatch', 'u', '', 'self.watches.pop(int(args[0]), None)'),
    ])


@dbus.service.method(MOCK_IFACE, in_signature='t', out_signature='')
def SetIdletime(self, milliseconds):
    before = int(self.idletime)
    after = int(milliseconds)
    self.idletime = dbus.UInt64(milliseconds)
    for watch, interval in sorted(self.watches.items()):
        if interval == 0 and after < before:
            del self.watches[watch]
        elif not (interval > 0 and before < interval <= after):
            continue
        self.EmitSignal(MAIN_IFACE, 'WatchFired', 'u', [dbus.UInt32(watch)])
