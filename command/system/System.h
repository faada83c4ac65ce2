// The operating-system verbs the pelmora command needs beyond the plug-in,
// one header per seam: files and folders, paths, the console, the plug-in's
// library. Every path and text is UTF-8 in both builds.
#pragma once

#include "Files.h"
#include "Library.h"
#include "Paths.h"
#include "Streams.h"
