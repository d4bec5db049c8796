// Defines ASyncFunc; the class is abstract and only needs its meta-object here.
#include "asyncfunc.h"
