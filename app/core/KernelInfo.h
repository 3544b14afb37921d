#pragma once
// Which flash kernels a run uses, worded for the user in the interface's language: the
// front-ends load them from the command line's -k folder (or the default folders) before the
// wizard starts, and show the lines in their banner, About box and --version.
#include "target/KernelResources.h"

#include <string>
#include <vector>

// Loads the process's kernels. False with the reason, ready to show, when a kernel file or the
// named folder cannot be used; the built-in kernels then stay in use, but the caller should
// stop: the user asked for kernels that cannot be had.
bool LoadKernelsForCommandLine(const std::string& strCmdLine, std::string& strError);

// The reason of a failed load, ready to show.
std::string KernelErrorText(const SKernelStoreError& error);

// Lines saying which kernel each processor gets. bShort: a single notice line when every
// kernel is a built-in stand-in (banners and About boxes); otherwise one line per kernel.
std::vector<std::string> KernelsInUseLines(bool bShort);

// True when every kernel in use is a built-in stand-in.
bool OnlyBuiltInStandIns();

// What --version prints: product and version, then one line per kernel.
std::string VersionText();
