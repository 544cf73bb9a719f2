// Any answer body from the sky service: it is interpreted, or taken as unknown.
#include "FuzzSupport.h"
#include "Sky/FarlumeClient.h"

using namespace quillfen;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    (void)FarlumeClient::interpret(fuzz::asText(data, size));
    return 0;
}
