#include "core/store/EventStore.h"

// The Google and Notion syncs are not wired in yet: asking for a refresh changes nothing, so the
// agenda holds the local calendars alone.

QCoro::Task<> EventStore::refreshGoogle() {
    co_return;
}

QCoro::Task<> EventStore::refreshNotion() {
    co_return;
}
