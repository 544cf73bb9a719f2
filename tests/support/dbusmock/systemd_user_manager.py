'''systemd's user manager, as far as a desktop shell asks it: whether a unit is there, and to
start or stop one.

Parameter: "units", the names of the units that are there (default none). GetUnit answers each
with an object path and any other name with systemd's own NoSuchUnit error. StartUnit and StopUnit
answer with a job, which ends at once: JobRemoved says "done" just after the answer, as systemd
says it once the job has run.
'''

import dbus

BUS_NAME = 'org.freedesktop.systemd1'
MAIN_OBJ = '/org/freedesktop/systemd1'
MAIN_IFACE = 'org.freedesktop.systemd1.Manager'
SYSTEM_BUS = False

# A unit that is there has its object path, its name escaped as systemd escapes it.
GET_UNIT = (
    'if args[0] not in self.units:\n'
    '    raise dbus.exceptions.DBusException("Unit %s not loaded." % args[0],\n'
    '                                        name="org.freedesktop.systemd1.NoSuchUnit")\n'
    'ret = dbus.ObjectPath("/org/freedesktop/systemd1/unit/" +\n'
    '                      "".join(c if c.isalnum() else "_%02x" % ord(c) for c in args[0]))'
)

# The method's code runs with its own locals, which a function made there does not see: the signal's
# arguments go in as the function's defaults.
RUN_JOB = (
    'from gi.repository import GLib\n'
    'self.jobs += 1\n'
    'ret = dbus.ObjectPath("/org/freedesktop/systemd1/job/%d" % self.jobs)\n'
    'GLib.idle_add(lambda mock=self, signal=[dbus.UInt32(self.jobs), ret, args[0], "done"]:\n'
    '              mock.EmitSignal("org.freedesktop.systemd1.Manager", "JobRemoved", "uoss", signal) and False)'
)


def load(mock, parameters):
    mock.units = set(parameters.get('units', []))
    mock.jobs = 0
    mock.AddMethods(MAIN_IFACE, [
        ('GetUnit', 's', 'o', GET_UNIT),
        ('StartUnit', 'ss', 'o', RUN_JOB),
        ('StopUnit', 'ss', 'o', RUN_JOB),
    ])
