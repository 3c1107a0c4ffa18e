#pragma once

// The benches' command line: PROGRAM, then --flags and --name VALUE pairs.

#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>

namespace bench {

class BenchArgs {
public:
    // `values` names the options that take a value. Prints the usage and
    // ends with 2 when PROGRAM is missing or an option is unknown.
    BenchArgs(int argc, char** argv, const std::string& usage, std::set<std::string> flags,
        std::set<std::string> values)
    {
        if (argc < 2 || std::string(argv[1]).rfind("--", 0) == 0)
            fail(argv[0], usage);
        program = argv[1];
        for (int i = 2; i < argc; ++i) {
            const std::string name = argv[i];
            if (flags.count(name))
                set_.insert(name);
            else if (values.count(name) && i + 1 < argc)
                values_[name] = argv[++i];
            else
                fail(argv[0], usage);
        }
    }

    bool flag(const std::string& name) const { return set_.count(name) > 0; }
    std::string text(const std::string& name, const std::string& fallback) const
    {
        const auto it = values_.find(name);
        return it == values_.end() ? fallback : it->second;
    }
    double number(const std::string& name, double fallback) const
    {
        const auto it = values_.find(name);
        return it == values_.end() ? fallback : std::atof(it->second.c_str());
    }

    std::string program;

private:
    [[noreturn]] static void fail(const char* self, const std::string& usage)
    {
        std::fprintf(stderr, "usage: %s PROGRAM %s\n", self, usage.c_str());
        std::exit(2);
    }

    std::set<std::string> set_;
    std::map<std::string, std::string> values_;
};

} // namespace bench
