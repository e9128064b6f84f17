#include "name_list.h"

name_list::name_list(const char* names) : names_(names), next_(names) {}

void name_list::read_next(char (&out)[field_name_size])
{
    const char* end = copy_field(next_, ',', out);
    // Past the last name the position stays on the terminator, where every name is empty.
    next_ = *end == '\0' ? end : end + 1;
}

void name_list::rewind()
{
    next_ = names_;
}
