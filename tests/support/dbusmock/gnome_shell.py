'''GNOME Shell mock: its version, answered after a delay, as a shell busy with a login answers.

Parameters: "version" (default "48.0") and "delay" in seconds (default 0).
'''

import time

import dbus

BUS_NAME = 'org.gnome.Shell'
MAIN_OBJ = '/org/gnome/Shell'
MAIN_IFACE = 'org.gnome.Shell'
SYSTEM_BUS = False


def load(mock, parameters):
    mock.AddProperties(MAIN_IFACE, {'ShellVersion': dbus.String(parameters.get('version', '48.0'))})
    mock.delay = float(parameters.get('delay', 0))


@dbus.service.method(dbus.PROPERTIES_IFACE, in_signature='ss', out_signature='v')
def Get(self, interface_name, property_name):
    time.sleep(self.delay)
    return self.GetAll(interface_name)[property_name]
