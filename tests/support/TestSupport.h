#pragma once
// Everything the test folders share: temporary folders, the simulated unit as a child process,
// running the project's executables, file helpers and paths.
#include "tests/support/FileUtil.h"
#include "tests/support/RunProcess.h"
#include "tests/support/SimProcess.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestPaths.h"
