#include "UI/MenuBarModel.h"

// The meta-object of a model lives here: moc runs on headers that have a source beside them.
