#pragma once
// Ids of the wizard's texts in the text table (Texts.h); the numbers are the table's.
enum : unsigned
{
    IDS_ABOUTBOX = 101,
    IDS_CLOSE_REFUSED = 102,
    IDS_BUTTON_START = 103,
    IDS_BUTTON_CONTINUE = 104,
    IDS_BUTTON_YES = 105,
    IDS_BUTTON_NO = 106,
    IDS_BUTTON_CLOSE = 107,
    IDS_WELCOME = 108,
    IDS_WELCOME_HINT = 109,
    IDS_BUTTON_FILE_OPEN = 111,
    IDS_FIRMWARE_HINT = 112,
    IDS_FIRMWARE_INFO = 113, // "Name:\t %s\nVersion:\t %s"
    IDS_FIRMWARE_GROUP = 117,
    IDS_NO_FIRMWARE = 118,
    IDS_FIRMWARE_FOR = 119, // "%s" the firmware's name
    IDS_NO_PROCESSOR = 120,
    IDS_FURTHER_UNITS = 121,
    IDS_FIRMWARE_WARNING = 122,
    IDS_CONNECT = 123,
    IDS_CONNECT_HINT = 124,
    IDS_SEARCHING = 125,
    IDS_FOUND = 126,
    IDS_FOUND_HINT = 127,
    IDS_FOUND_AUTO = 128,
    IDS_NOT_FOUND = 129,
    IDS_NOT_FOUND_HINT = 130,
    IDS_PROGRAMMING = 131,
    IDS_DOWNLOADING = 132,
    IDS_DOWNLOAD_OK = 133,
    IDS_DOWNLOAD_FAILED = 134,
    IDS_RETRY = 135,
    IDS_SUCCESS = 136,
    IDS_SUCCESS_HINT = 137,
    IDS_PHASE_ERASE = 138,
    IDS_PHASE_BLANK_CHECK = 139,
    IDS_PHASE_PROGRAM = 140,
    IDS_FILE_CORRUPT = 142,
    IDS_FILE_CANNOT_OPEN = 143,
    IDS_FILE_CANNOT_LOAD = 144,
    IDS_PROGRAM_FAILED = 145,
    // The flash kernels in use (KernelInfo.h), and why kernel files could not be taken.
    IDS_KERNEL_STAND_IN_NOTICE = 146,
    IDS_KERNEL_FILE = 147,     // "%s" kernel, path, SHA-256
    IDS_KERNEL_STAND_IN = 148, // "%s" kernel
    IDS_KERNEL_BUILT_IN = 149, // "%s" kernel, SHA-256
    IDS_KERNEL_FOLDER_MISSING = 150,
    IDS_KERNEL_FOLDER_EMPTY = 151,
    IDS_KERNEL_WRONG_SIZE = 152, // "%s" path, size, expected size
    IDS_KERNEL_NOT_A_FILE = 153,
    IDS_KERNEL_UNREADABLE = 154, // "%s" path, reason
    IDS_KERNEL_NO_FOLDER = 155,
    IDS_UNITS_FOUND = 160,   // "%s units found: %s" the count and the ports
    IDS_UNITS_UPDATED = 161, // "%s of %s units updated"
    IDS_PHASE_VERIFY = 162,
    IDS_VERIFY_DIFFERS = 163, // "%s" the first differing address
    IDS_UNIT_UPDATED = 164,   // "%s" the port, as are 165-167
    IDS_UNIT_DOWNLOAD_FAILED = 165,
    IDS_UNIT_PROGRAM_FAILED = 166,
    IDS_UNIT_PORT_ERROR = 167,
    IDS_RECORD_FAILED = 168, // "%s" the system's reason
};
