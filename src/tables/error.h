#pragma once

#include <stdexcept>
#include <string>

namespace tavolin {

// Every failure of the core is an exception that carries the text the user is
// shown; the window decides how to show it.
class TavolinError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A row past the last entry of a table that has entries.
class ListIndexError : public TavolinError {
public:
    explicit ListIndexError(long long index);
};

} // namespace tavolin
