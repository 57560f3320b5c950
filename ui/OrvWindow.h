// SPDX-License-Identifier: MIT
// OrvWindow: the main window and the controller of a conversion. It owns the output format
// catalogue, the file list and the progress counters, receives the file lists, opens a
// format's settings window and runs the conversion on its own thread.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "conversion/OutputFormat.h"
#include "platform/application/Messenger.h"
#include "platform/interface/Window.h"
#include "platform/storage/Entry.h"
#include "ui/RunReport.h"

class BTranslatorRoster;
class OrvView;

class OrvWindow : public BWindow {
public:
    // The window on the default translator roster.
    OrvWindow();
    // The same on another roster (which must outlive the window): tests, and a program
    // that builds its own.
    explicit OrvWindow(BTranslatorRoster* roster);
    ~OrvWindow() override;

    void MessageReceived(BMessage* message) override;
    // Closing the main window quits the application.
    bool QuitRequested() override;

    void UpdateTranslators();
    void ConvertFiles();
    void AddEntriesFromDir(BEntry* directory);
    void OpenAdvanced(long index);
    // What UpdateView refreshes, as bits.
    static constexpr unsigned long kProgressChanged = 0x2;  // fConverted out of fRefCount
    void UpdateView(unsigned long what);

    // After each run (with the window locked, or from the observer's message): the files
    // that failed, in list order, and those converted with a warning (a source the trash
    // refused stays in place). The window shows them in a note under its status bar.
    const std::vector<RunIssue>& Failures() const { return fFailures; }
    const std::vector<RunIssue>& Warnings() const { return fWarnings; }

    // At the end of every run, a MSG_RUN_DONE message goes to `observer` with the int32
    // fields "converted" (files processed), "count" (files in the list) and "failed", and,
    // per failure in list order, the strings "failure" (the path) and "reason"; the same for
    // warnings under "warning" and "warning_reason". An empty messenger stops the reports.
    void SetRunObserver(const BMessenger& observer);

    // How many files a run converts at once (0: one per core).
    void SetJobs(int jobs) { fJobs = jobs; }
    // A flag that, once set from any thread, ends the run between two files.
    void SetStopFlag(const std::atomic<bool>* flag) { fStop = flag; }
    // Writes no EXIF, XMP or IPTC in the next runs, whatever the writers' settings.
    void SetStripMetadata(bool strip) { fStripMetadata = strip; }

    // Read-only views of the state, for the command line and the tests (lock the window).
    OrvView* View() const { return fView; }
    int32 FormatCount() const { return fFormatCount; }
    const OutputFormat& FormatAt(int32 index) const { return fFormats[size_t(index)]; }
    int32 RefCount() const { return fRefCount; }
    uint32 Converted() const { return fConverted; }
    const BMessage* Refs() const { return fRefs.get(); }

private:
    void TakeFileList(const BMessage& message);
    void ReportRun();

    BTranslatorRoster* fRoster;
    uint32 fConverted = 0;
    int32 fRefCount = 0;
    std::unique_ptr<BMessage> fRefs;
    std::vector<OutputFormat> fFormats;
    int32 fFormatCount = 0;
    OrvView* fView = nullptr;

    std::vector<RunIssue> fFailures;
    std::vector<RunIssue> fWarnings;
    BMessenger fObserver;
    int fJobs = 0;
    const std::atomic<bool>* fStop = nullptr;
    bool fStripMetadata = false;
};
