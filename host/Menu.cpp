#include "host/Host.h"

namespace host {

std::uint32_t IMenu::HandleUIMessage(UIMessage*) { return kMessageIgnored; }

void IMenu::AdvanceMovie(float interval, std::uint32_t time) {
    Call<&HostTable::MenuAdvanceMovieDefault>(this, interval, time);
}

void IMenu::InitMovie() { Call<&HostTable::MenuInitMovieDefault>(this, movieView); }

void IMenu::DrawMenu() {
    if (movieView != nullptr) Call<&HostTable::DisplayMovie>(movieView);
}

IMenu::~IMenu() {
    if (attachment != 0) Call<&HostTable::ReleaseMenuAttachment>(&attachment);
    if (movieView != nullptr) Call<&HostTable::ReleaseMovie>(movieView);
}

}  // namespace host
