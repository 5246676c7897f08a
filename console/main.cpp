// MORLEVIX: converts Alice cassette tape images (.k7) into WAV files.
#include <csignal>
#include <iostream>

#include "batch_driver.h"

int main()
{
#ifdef SIGXFSZ
    // Past a file size limit a write should fail and be reported, not end
    // the program with a half-written WAV on disk.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    return morlevix::run_batch(std::cin, std::cout, std::cerr);
}
