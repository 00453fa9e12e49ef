#pragma once

#include <memory>
#include <variant>

// The display records that the shared state lists hold (each defined with its data type).
class SMS;
class Contact;
class CallLog;
class Note;
class Calendar;
class InternetHistory;
class WhatsApp;
class Photo;
class Video;
class MapHistory;
class DynamicDictionary;
class Application;
class Account;
class Music;
class KeyChain;
class Chat;
class ChatMessageJoin;

// What the music and keychain screens list.
using ListDataItem = std::variant<std::shared_ptr<Music>, std::shared_ptr<KeyChain>>;
