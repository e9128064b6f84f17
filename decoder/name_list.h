#pragma once

#include "field_list.h"

// The names part of a record schema read front to back. Gives the same names as
// get_field(names, ',', index) for index 0, 1, 2... without walking from the start each time.
class name_list
{
public:
    explicit name_list(const char* names);

    // Writes the next name into out; empty once the list has run out.
    void read_next(char (&out)[field_name_size]);

    // Goes back to the first name.
    void rewind();

private:
    const char* names_;
    const char* next_; // start of the next name
};
