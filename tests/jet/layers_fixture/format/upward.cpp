// A format source that includes a layer above it: the layer check must refuse it.
#include "engines/jet/compact/table.h"
