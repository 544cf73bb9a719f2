'''GeoClue2 mock: one client whose Start is granted or refused as the test chooses.

Parameters: "grant" (default true), "lat" and "lng" (degrees) of the one location.
Start of a granted client announces the location before it answers, as a quick service
may; Stop makes it inactive. The mock method SetLocation(lat, lng) moves the machine; a
running client hears of it at once, a stopped one at its next Start.
'''

import dbus

from dbusmock import MOCK_IFACE, mockobject

BUS_NAME = 'org.freedesktop.GeoClue2'
MAIN_OBJ = '/org/freedesktop/GeoClue2/Manager'
MAIN_IFACE = 'org.freedesktop.GeoClue2.Manager'
SYSTEM_BUS = True

CLIENT_PATH = '/org/freedesktop/GeoClue2/Client/1'
CLIENT_IFACE = 'org.freedesktop.GeoClue2.Client'
LOCATION_IFACE = 'org.freedesktop.GeoClue2.Location'

state = {'locations': 0, 'lat': 52.52, 'lng': 13.405}


def announce(client):
    lat, lng = state['lat'], state['lng']
    state['locations'] += 1
    path = f'/org/freedesktop/GeoClue2/Location/{state["locations"]}'
    client.AddObject(path, LOCATION_IFACE, {
        'Latitude': dbus.Double(lat),
        'Longitude': dbus.Double(lng),
        'Accuracy': dbus.Double(10000.0),
        'Altitude': dbus.Double(-1.7976931348623157e308),
        'Speed': dbus.Double(-1.0),
        'Heading': dbus.Double(-1.0),
        'Description': '',
    }, [])
    old = client.Get(CLIENT_IFACE, 'Location')
    client.Set(CLIENT_IFACE, 'Location', dbus.ObjectPath(path))
    client.EmitSignal(CLIENT_IFACE, 'LocationUpdated', 'oo', [old, dbus.ObjectPath(path)])


def load(mock, parameters):
    grant = parameters.get('grant', True)
    state['lat'] = parameters.get('lat', state['lat'])
    state['lng'] = parameters.get('lng', state['lng'])

    def start(client):
        if not grant:
            raise dbus.exceptions.DBusException('refused by the agent',
                                                name='org.freedesktop.DBus.Error.AccessDenied')
        client.UpdateProperties(CLIENT_IFACE, {'Active': dbus.Boolean(True)})
        announce(client)

    def stop(client):
        client.UpdateProperties(CLIENT_IFACE, {'Active': dbus.Boolean(False)})

    mock.AddProperties(MAIN_IFACE, {'InUse': dbus.Boolean(False), 'AvailableAccuracyLevel': dbus.UInt32(8)})
    mock.AddMethods(MAIN_IFACE, [
        ('GetClient', '', 'o', f'ret = dbus.ObjectPath("{CLIENT_PATH}")'),
        ('CreateClient', '', 'o', f'ret = dbus.ObjectPath("{CLIENT_PATH}")'),
        ('DeleteClient', 'o', '', ''),
        ('AddAgent', 's', '', ''),
    ])
    mock.AddObject(CLIENT_PATH, CLIENT_IFACE, {
        'Location': dbus.ObjectPath('/'),
        'DistanceThreshold': dbus.UInt32(0),
        'TimeThreshold': dbus.UInt32(0),
        'DesktopId': '',
        'RequestedAccuracyLevel': dbus.UInt32(0),
        'Active': dbus.Boolean(False),
    }, [
        ('Start', '', '', start),
        ('Stop', '', '', stop),
    ])


@dbus.service.method(MOCK_IFACE, in_signature='dd', out_signature='')
def SetLocation(self, lat, lng):
    state['lat'], state['lng'] = lat, lng
    client = mockobject.objects[CLIENT_PATH]
    if client.Get(CLIENT_IFACE, 'Active'):
        announce(client)
