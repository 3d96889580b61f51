// Cost of reading configuration text (a viewer configuration of ordinary size, and a document
// of several megabytes, both already in memory) and of reading a polygon's point list.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "support/KavParser.h"
#include "support/SFunctions.h"

namespace {

std::vector<std::string> Document(size_t items) {
    std::vector<std::string> lines{"<?xml version=\"1.0\" encoding=\"utf-8\"?>", "<KavViewer>"};
    for (size_t i = 0; i < items; ++i) {
        const std::string n = std::to_string(i);
        lines.push_back(std::string("  <!-- setting ").append(n).append(" -->"));
        lines.push_back(std::string("  <Param name=\"Key")
                            .append(n)
                            .append("\" value=\"a &amp; b\">text of the\tsetting</Param>"));
        lines.push_back("  <Flag on=\"True\" />");
    }
    lines.push_back("</KavViewer>");
    return lines;
}

size_t Bytes(const std::vector<std::string>& lines) {
    size_t n = 0;
    for (const auto& line : lines) n += line.size() + 2;
    return n;
}

void ReadDocument(benchmark::State& state) {
    const std::vector<std::string> lines = Document(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        hv::TKavParser parser;
        parser.Lines = lines;
        parser.MakeTypifiedLines();
        parser.BuildTree();
        benchmark::DoNotOptimize(parser.LastChild());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Bytes(lines)));
}
BENCHMARK(ReadDocument)->Arg(20)->Arg(100'000)->Unit(benchmark::kMicrosecond);

void ReadPointList(benchmark::State& state) {
    std::string text;
    for (int i = 0; i < 64; ++i) {
        text += '(';
        text += std::to_string(i * 7);
        text += ',';
        text += std::to_string(-i);
        text += ") ";
    }
    hv::TPoints points;
    for (auto _ : state) {
        hv::ParsePoints(text, points);
        benchmark::DoNotOptimize(hv::CenterOfPoints(points));
    }
    state.SetItemsProcessed(state.iterations() * 64);
}
BENCHMARK(ReadPointList);

}  // namespace
