// The Qt headers most views include, precompiled once per target that builds views.
// Nothing here is needed for correctness: every file still includes what it uses.
#pragma once

#include "CommonHeaders.h"

#include <QtCore>
#include <QtGui>
#include <QtWidgets>
