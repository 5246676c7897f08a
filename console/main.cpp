// MORLEVIX: converts Alice cassette tape images (.k7) into WAV files.
#include <csignal>
#include <iostream>

#include "batch_driver.h"
#include "command_layer.h"

int main()
{
#ifdef SIGXFSZ
    // Past a file size limit a write should fail and be reported, not end
    // the program with a half-written WAV on disk.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    int interrupted_by = 0;
    try {
        const morlevix::Utf8Console console;
        return morlevix::run_batch(std::cin, std::cout, std::cerr);
    } catch (const morlevix::InterruptedByUser& interruption) {
        interrupted_by = interruption.signal;
    }
    // Everything is released and the console is as it was: end the way the
    // interrupt key ends any program.
    std::cout.flush();
    std::raise(interrupted_by);
    return 0;
}
