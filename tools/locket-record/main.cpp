// locket-record: writes a Locket KX2 memory card for the viewer's demonstrations and tests.
#include <cstdio>
#include <string>

extern "C" {
#include <libavutil/log.h>
}

#include "tools/locket-record/card_writer.h"
#include "tools/locket-record/record_options.h"

int main(int argc, char** argv) {
    // libx264 reports every encoder it opens; only real trouble is worth a line.
    av_log_set_level(AV_LOG_ERROR);
    locket::RecordOptions options;
    std::string error;
    if (!locket::ParseRecordOptions(argc, argv, &options, &error)) {
        std::fprintf(stderr, "locket-record: %s\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(locket::RecordUsage().c_str(), stdout);
        return 0;
    }
    const int result = locket::WriteCard(options, &error);
    if (result != 0)
        std::fprintf(stderr, "locket-record: %s\n", error.c_str());
    return result;
}
