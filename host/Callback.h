#pragma once
// Every entry the game calls in the plugin returns to the game with an answer: an
// exception that got this far (a failed allocation, most likely) must not unwind into
// the game's own code, which would end the game. It becomes the entry's neutral answer.

namespace host {

template <class Result, class Body>
Result NeutralOnThrow(Result neutral, Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return neutral;
    }
}

template <class Body>
void NeutralOnThrow(Body&& body) noexcept {
    try {
        body();
    } catch (...) {
        // nothing to answer: the game goes on
    }
}

}  // namespace host
