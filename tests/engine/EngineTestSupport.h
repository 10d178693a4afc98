#pragma once

// What the engine's tests read back from the files they edit.
#include "support/RawPdf.h"
