// Turns a resource file into a seed of fuzz_writer: its scanned tables as
// one AppendEntry line each. Usage: fuzz_writer_seed FILE > SEED
#include <iostream>

#include "codec/reader.h"
#include "tables/error.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: fuzz_writer_seed FILE\n";
        return 2;
    }
    tavolin::StringTables tables;
    try {
        tavolin::ScanResourceFile(argv[1], tables);
    } catch (const tavolin::TavolinError& e) {
        std::cerr << argv[1] << ": " << e.what() << '\n'; // what was read still serves
    }
    const auto put = [](char op, const tavolin::StringTable& table) {
        for (std::size_t i = 0; i < table.EntryCount(); ++i)
            std::cout << op << table.KeyAt(i) << '=' << table.ValueAt(i) << '\n';
    };
    put('a', tables.vle);
    put('b', tables.vle2);
    put('c', tables.vle3);
    return 0;
}
