#include "host/FixedString.h"

#include "host/Callback.h"
#include "host/Host.h"

namespace host {

FixedString::FixedString(const char* text) {
    const HostTable* t = Table();
    if (t && t->CreateFixedString && text) NeutralOnThrow([&] { t->CreateFixedString(this, text); });
}

FixedString::FixedString(const FixedString& other) {
    const HostTable* t = Table();
    if (other.handle_ && t && t->CopyFixedString) NeutralOnThrow([&] { t->CopyFixedString(this, &other); });
}

FixedString::~FixedString() {
    const HostTable* t = Table();
    if (handle_ && t && t->ReleaseFixedString) NeutralOnThrow([&] { t->ReleaseFixedString(this); });
}

std::string_view FixedString::View() const {
    return handle_ ? std::string_view(handle_, FixedStringLength(handle_)) : std::string_view();
}

}  // namespace host
