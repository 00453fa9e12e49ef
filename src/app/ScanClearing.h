#pragma once

class BrimleyAppDelegate;
class MainWindowActions;
class WorkingFolder;

// Empties what the previous scan found: every list of recovered records and its count, the
// photos and videos copied into the working folder (when one is given), and the screens and
// tab selection built from them. The backup folder, the database names and the deleted counts
// (which each scan zeroes itself) stay. It must not run while a scan fills the lists.
void ClearScanResults(BrimleyAppDelegate& record, MainWindowActions& window,
                      WorkingFolder* workingFolder);

// Hands what the allocator keeps of freed memory (in every thread's arena) back to the system,
// once a scan's records, or the screens that showed them, are gone.
void ReleaseFreedMemory();

// Forgets the details of the device or backup last read: its names, identifiers, versions
// (the iOS version numbers too, so a backup without a version never inherits the numbers, and
// so the database names, of the one read before) and its encryption flags; the device-name
// label is emptied. The record is replaced, never edited, so a thread holding it keeps it whole.
void ClearDeviceDetails(BrimleyAppDelegate& record, MainWindowActions& window);
