'''org.freedesktop.ScreenSaver mock: SetActive(b) changes the state and announces it.'''

BUS_NAME = 'org.freedesktop.ScreenSaver'
MAIN_OBJ = '/org/freedesktop/ScreenSaver'
MAIN_IFACE = 'org.freedesktop.ScreenSaver'
SYSTEM_BUS = False


def load(mock, _parameters):
    mock.AddMethods(MAIN_IFACE, [
        ('GetActive', '', 'b', 'ret = self.is_active'),
        ('GetActiveTime', '', 'u', 'ret = 0'),
        ('SetActive', 'b', 'b', 'self.is_active = args[0]; '
                                'self.EmitSignal("", "ActiveChanged", "b", [self.is_active]); '
                                'ret = True'),
    ])
    mock.is_active = False
