// The program's command line on any arguments (the input's NUL bytes separate them).
#include "app/CommandLine.h"
#include "platform/exceptions.h"
#include "tests/fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> args{""};
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0)
            args.emplace_back();
        else
            args.back() += char(data[i]);
    }
    try {
        hv::ParseCommandLine(args);
    } catch (const hv::EConvertError&) {
    }
    return 0;
}
