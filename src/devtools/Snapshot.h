#pragma once

#include "core/model/CalEvent.h"

#include <QDir>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class AppSettings;
class EventStore;

// The "--snapshot" and "--test-loopback" developer modes.
//
//   vorrindel --snapshot DIR
//
// renders the panel in nine states (the peek, the expanded agenda, an event's detail, quick add
// plain, with a meeting, with the people field and editing, the delete question, the alert) and the
// settings window's Google tab to PNG files at scale 2 in DIR, from a made-up day of events
// (SampleData), off screen and without a network call. One line per picture on standard output:
//
//   snapshot: wrote /abs/DIR/peek.png            ... nine of these, then
//   snapshot: wrote settings-google.png
//
// A picture that could not be drawn or written says so instead ("snapshot: failed to render peek",
// "snapshot: failed to write /abs/DIR/peek.png: <reason>"), the others are still made, and the process
// then ends with status 1. Shots whose event the day does not have (late in the evening the meeting
// with guests and the next meeting with a link fall on the next day) are left out without a line.
namespace Snapshot {

// Runs the mode when the arguments (the program path first) hold "--snapshot" followed by a folder,
// taken as it stands even when it begins with "--"; a relative folder lies in the current directory.
// Answers the process's exit status then, and nothing, with no effect, otherwise ("--snapshot" as the
// last argument starts the app as usual).
std::optional<int> runIfRequested(const QStringList& arguments);

// The nine panel shots and the settings shot into `dir`, with the events of SampleData around `now`
// installed in `store`. Hands each line above to `print`; answers how many pictures failed. Main
// thread, in one pass.
int render(const QDir& dir, const QDateTime& now, EventStore& store, AppSettings& settings,
           const std::function<void(const QString&)>& print);

// Starts the sign-in listener self-test when the arguments hold "--test-loopback"; it ends the
// process by itself.
bool runLoopbackTestIfRequested(const QStringList& arguments);

// What the views of a shot start from, set by the renderer around the shots that need them and read
// when the views are made. Main thread only.
//
// The quick-add line when no event is edited. Until a shot sets one: "Coffee with Oskel today <the
// time eight minutes after the first read> for 45 min", fixed at that first read.
QString quickAddText();
void setQuickAddText(const QString& text);
// Whether quick add opens with its people field.
bool quickAddShowPeople();
void setQuickAddShowPeople(bool show);
// The event quick add edits; none for a new line.
const std::optional<CalEvent>& editingEvent();
void setEditingEvent(const std::optional<CalEvent>& event);
// Whether the event detail opens on its delete question.
bool detailConfirmDelete();
void setDetailConfirmDelete(bool confirm);

} // namespace Snapshot
