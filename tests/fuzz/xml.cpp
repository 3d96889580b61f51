// The viewer configuration's XML reader on any text: typifying, building the tree, the
// lookups the configuration makes, and a deep copy of the result.
#include "support/KavParser.h"
#include "tests/fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    hv::TKavParser parser;
    parser.Lines = hv::fuzz::Lines(hv::fuzz::Text(data, size));
    if (parser.MakeTypifiedLines()) parser.BuildTree();
    if (const hv::TKavXMLTag* top = parser.FindChild("KavViewerConfigFile")) {
        for (const auto& child : top->Children()) child->FindAttribute("X");
    }
    hv::TKavXMLTag copy;
    copy.CopyFrom(&parser);
    copy.CopyFrom(copy.LastChild());
    hv::KavDecodeEntities(hv::KavNormalizeWhitespace(hv::fuzz::Text(data, size)));
    return 0;
}
