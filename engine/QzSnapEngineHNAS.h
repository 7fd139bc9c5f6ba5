// The plug-in's exported entry points: declared once, with their contract,
// in host/QzSnapEngineApi.h, which the plug-in and its hosts share.
#pragma once

#include "host/QzSnapEngineApi.h"
