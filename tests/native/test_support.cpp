#include "test_support.h"

namespace testing_support {

std::vector<CorpusItem> MakeCorpus() {
    std::mt19937 rng(20240611u);
    std::vector<CorpusItem> corpus;
    const char* words[] = {"the", "document", "engine", "reads", "records", "page", "text", "send", "printer",
                           "menu", "of", "a", "and", "with", "table", "offset", "length", "version"};
    auto text = [&](std::size_t n) {
        std::string s;
        while (s.size() < n) {
            s += words[rng() % (sizeof words / sizeof *words)];
            s += rng() % 11 == 0 ? ".\n" : " ";
        }
        s.resize(n);
        return std::vector<std::uint8_t>(s.begin(), s.end());
    };
    corpus.push_back({"text-3072", text(3072)});
    corpus.push_back({"text-65536", text(65536)});
    {
        std::string s;
        for (int i = 0; s.size() < 50000; ++i) {
            s += "static int Function" + std::to_string(i % 97) + "(const char* psz, int n) {\n    return n * " +
                 std::to_string(rng() % 1000) + " + psz[0];\n}\n";
        }
        corpus.push_back({"source-50000", std::vector<std::uint8_t>(s.begin(), s.end())});
    }
    {
        std::vector<std::uint8_t> b(40000);
        for (std::size_t i = 0; i < b.size(); ++i) b[i] = static_cast<std::uint8_t>(i % 16 < 4 ? rng() % 8 : (i * 7) >> 3);
        corpus.push_back({"structured-40000", b});
    }
    {
        std::vector<std::uint8_t> b(65536, 0);
        for (int i = 0; i < 300; ++i) b[rng() % b.size()] = static_cast<std::uint8_t>(rng());
        corpus.push_back({"sparse-65536", b});
    }
    {
        std::vector<std::uint8_t> b(65536);
        for (auto& v : b) v = static_cast<std::uint8_t>(rng());
        corpus.push_back({"random-65536", b});
    }
    {
        std::vector<std::uint8_t> b(5000, 'A');
        corpus.push_back({"run-5000", b});
    }
    return corpus;
}

}  // namespace testing_support
