#include "UI/ObservableModel.h"
