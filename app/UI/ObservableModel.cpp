// The model's signal is generated from its header, which the build scans beside this file.
#include "UI/ObservableModel.h"
