#include "codec/writer.h"
