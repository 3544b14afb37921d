// orlix-sim: a simulated field unit on a pseudo-terminal (see --help).
#include "sim/SimHost.h"
#include "sim/SimOptions.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    SSimOptions opts;
    std::string strError;
    if (!ParseSimOptions(args, opts, strError))
    {
        std::fprintf(stderr, "orlix-sim: %s\n", strError.c_str());
        return 2;
    }
    if (opts.bHelp)
    {
        std::fputs(SimUsageText().c_str(), stdout);
        return 0;
    }
    CSimHost host(std::move(opts), stdout, stderr);
    return host.Run();
}
