// Home of PortEnumerator's meta-object; the class itself has no code.
#include "PortEnumerator.h"
