#pragma once

class BrimleyAppDelegate;
struct ScanContext;

// The texts the screens show for records that the databases leave unnamed, written into the
// records once a scan has filled its lists, so that an export written without ever opening a
// screen (torvane-scan --export) carries the same names as one written from the window:
//   - every existing contact whose first number is empty takes its second, else its third;
//   - every note without a short title gets one;
//   - every call without a name is named by its address;
//   - every WhatsApp message is named after its partner in the backup's chat database (read
//     once, through the context), else by its number, else "Unknown".
// Each text is written in one locked step, as the window may show the records meanwhile.
void NameScanResults(BrimleyAppDelegate& record, const ScanContext& context);
