#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// A realistic iOS 9 backup of an imaginary iPhone, for trying Torvane out and for end-to-end
// tests: messages, contacts, call history, notes, calendar events, WhatsApp chats, Safari
// history, photos and a video, each database built from the real iOS schemas. Some rows of
// every database were deleted afterwards and still lie in the file's free space, as they do on
// a phone; notes deleted on the phone sit in the "Recently Deleted" folder.
//
// The backup is the same for the same options: names, texts and times come from a fixed seed.
namespace demo {

struct DemoBackupOptions {
    std::uint32_t seed = 20160901;
    int messages = 160;
    int contacts = 60;
    int calls = 90;
    int notes = 24;
    int events = 48;
    int whatsAppMessages = 90;
    int visits = 40;
    // Photos of the camera roll, listed in the photo library; one more video.
    int photos = 6;
    // Further camera pictures outside the library, to make the backup larger.
    int extraPhotos = 0;

    // Multiplies the count of every kind of record (not the photos) by n.
    void scale(int n) {
        for (int* count : {&messages, &contacts, &calls, &notes, &events, &whatsAppMessages, &visits})
            *count *= n;
    }
};

// One row the backup was built with, named by the text that shows it in the exported file of
// its type, and whether it was deleted.
struct DemoRow {
    std::string key;
    bool deleted = false;
};

struct DemoBackupContents {
    std::filesystem::path folder;
    std::string deviceName;
    // Key: the message text.
    std::vector<DemoRow> messages;
    // Key: first and last name, with one blank between.
    std::vector<DemoRow> contacts;
    // Key: the number called or calling.
    std::vector<DemoRow> calls;
    // Key: the note's title.
    std::vector<DemoRow> notes;
    // Key: the event's title.
    std::vector<DemoRow> events;
    // Key: the message text.
    std::vector<DemoRow> whatsAppMessages;
    // Key: the page's address. Browser history is never deleted here.
    std::vector<DemoRow> visits;
    int photos = 0;
    int videos = 0;
};

// Writes the backup into `folder`, which is created when missing; a backup already there is
// replaced. Throws std::runtime_error when a file cannot be written.
DemoBackupContents WriteDemoBackup(const std::filesystem::path& folder,
                                   const DemoBackupOptions& options = {});

// A small picture file: a baseline JPEG (JFIF) or a PNG, width and height multiples of 8, in
// colours taken from the seed.
std::vector<std::uint8_t> DemoJpeg(int width, int height, std::uint32_t seed);
std::vector<std::uint8_t> DemoPng(int width, int height, std::uint32_t seed);
// The start of a QuickTime film: its file-type box and an empty movie box.
std::vector<std::uint8_t> DemoQuickTimeHeader();

}  // namespace demo
