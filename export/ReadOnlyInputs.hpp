// The files a run reads, which it must never write, checked before anything
// is opened: each must be a regular file (a FIFO would keep the run waiting
// for ever, a device would never end), and the output must be none of them,
// whatever name, case or link it is reached by.
#pragma once

#include <string>
#include <vector>

#include "platform/FileIdentity.hpp"

class ReadOnlyInputs {
  public:
    // Looks at the file `name` now. `role` says what it is to the run, after
    // "the output NAME is the": "database's own master file", ...
    void Add(const std::string& name, const char* role);

    // The role of the input that the output `name` is, or nullptr when it is
    // none of them.
    const char* RoleOf(const std::string& name) const;

    // A message, "cannot read NAME: ...", for each input that exists and is
    // not a regular file. Those missing or out of reach are left to opening
    // them, which says why.
    std::vector<std::string> Refusals() const;

  private:
    struct Input {
        std::string name;
        const char* role;
        FileIdentity identity;
    };
    std::vector<Input> inputs_;
};
