#include "text/extract.h"
