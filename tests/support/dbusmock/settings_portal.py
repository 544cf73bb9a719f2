'''The freedesktop settings portal: Read answers the settings the test gives, and a setting it
does not hold with the portal's NotFound error, as a portal answers another desktop's keys.

Parameters: "settings", a list of [namespace, key, signature, value] with the signature one of
b, d, u, i and s; "nested": true wraps each answer of Read in a second variant, as older portals
did. The mock method Reset(parameters) takes the same as JSON in place of all it held; Set(namespace,
key, value) changes one setting and emits SettingChanged.
'''

import json

import dbus

from dbusmock import MOCK_IFACE

BUS_NAME = 'org.freedesktop.portal.Desktop'
MAIN_OBJ = '/org/freedesktop/portal/desktop'
MAIN_IFACE = 'org.freedesktop.portal.Settings'
SYSTEM_BUS = False

TYPES = {'b': dbus.Boolean, 'd': dbus.Double, 'u': dbus.UInt32, 'i': dbus.Int32, 's': dbus.String}


def hold(mock, parameters):
    mock.settings = {}
    for namespace, key, signature, value in parameters.get('settings', []):
        mock.settings[(namespace, key)] = TYPES[signature](value)
    mock.nesting = 2 if parameters.get('nested', False) else 1


def load(mock, parameters):
    hold(mock, parameters)
    mock.AddMethods(MAIN_IFACE, [
        ('Read', 'ss', 'v',
         'if (args[0], args[1]) not in self.settings:\n'
         '    raise dbus.exceptions.DBusException("Requested setting not found",'
         ' name="org.freedesktop.portal.Error.NotFound")\n'
         'value = self.settings[(args[0], args[1])]\n'
         'ret = type(value)(value, variant_level=self.nesting)'),
    ])


@dbus.service.method(MOCK_IFACE, in_signature='s', out_signature='')
def Reset(self, parameters):
    hold(self, json.loads(parameters))


@dbus.service.method(MOCK_IFACE, in_signature='ssv', out_signature='')
def Set(self, namespace, key, value):
    self.settings[(str(namespace), str(key))] = value
    self.EmitSignal(MAIN_IFACE, 'SettingChanged', 'ssv', [namespace, key, value])
