// objmodel.h - a fixture that builds object graphs directly through the constructors, the way the
// readers do, and captures the library's log.
#pragma once

#include "kdxint.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>
#include <initializer_list>
#include <string>
#include <utility>

namespace objmodel {

using Props = std::initializer_list<std::pair<const char *, const char *>>;

class ObjModelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(log_.file(), nullptr);
        kdx::xxsetlog(log_.file());
        kdx::xxsetprogname("t");
        kdx::xxinit();
        ASSERT_NE(kdx::xxgetroot(), nullptr);
    }
    void TearDown() override {
        kdx::xxfreeall();
        kdx::xxsymfree();
        kdx::xxclrqual();
        kdx::xxsetlog(nullptr);
    }

    std::string logtext() { return log_.text(); }
    int count(const std::string &text) { return log_.count(text); }

    // Appends name:value (name alone with a null value) to an object's list.
    static kdx::prop *addprop(void *obj, const char *name, const char *value, int flags = 2) {
        kdx::prop *p = kdx::xxalprop(flags, name, value);
        kdx::xxlinkprop(obj, p, 2);
        return p;
    }

    // A definition with its ports declared and its properties set, fixed as the symbol reader does.
    static kdx::symdef *mkdef(const char *name, std::initializer_list<const char *> ports,
                              Props props = {}) {
        kdx::symdef *d = kdx::xxnewsymdef(nullptr, name);
        for (const char *p : ports)
            kdx::xxnewvport(d, d->porttbl, p, nullptr);
        for (const auto &[n, v] : props)
            addprop(d, n, v);
        kdx::xxfixnewsymdef(d, nullptr);
        return d;
    }

    // A placed, named symbol with its own properties, fixed as the schematic reader does.
    static kdx::symbol *place(kdx::net *n, kdx::symdef *d, const char *name, Props props = {}) {
        kdx::symbol *s = kdx::xxnewsym(n, d, d->nports);
        for (const auto &[pn, v] : props)
            addprop(s, pn, v);
        if (name) s->name = kdx::xxalstr(&kdx::xxalbuf, name);
        kdx::xxfixnewsym(n, s);
        return s;
    }

    testsupport::Capture log_;
};

} // namespace objmodel
