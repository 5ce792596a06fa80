// kdxsupport.h - reading back what the library built: property values and qualifier lists in the
// forms the tests compare.
#pragma once

#include "kdxint.h"

#include <string>
#include <vector>

namespace testsupport {

// The value of an object's property, "(none)" when it has none.
inline std::string propvalue(void *obj, const char *name) {
    const char *v = kdx::xxpropval(kdx::xxfindprop(obj, name, 0));
    return v ? v : "(none)";
}

// The texts of a property's qualifiers, in list order.
inline std::vector<std::string> qualifiers(const kdx::prop *p) {
    std::vector<std::string> texts;
    for (const kdx::prop *q = p ? p->sub : nullptr; q != nullptr; q = kdx::propnext(q))
        texts.push_back(q->text);
    return texts;
}

} // namespace testsupport
