// The boundary's old include name, kept only for the command until it includes
// PluginRecords.h; delete this folder then.
#pragma once

#include "PluginRecords.h"
