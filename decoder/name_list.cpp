#include "name_list.h"

name_list::name_list(const char* names) : names_(names), next_(names) {}

void name_list::read_next(char (&out)[field_name_size])
{
    out[0] = '\0';
    if (next_ == nullptr) {
        return;
    }
    const char* end = copy_field(next_, ',', out);
    next_ = *end == '\0' ? nullptr : end + 1;
}

void name_list::rewind()
{
    next_ = names_;
}
