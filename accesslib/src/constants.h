// Constants of the access library: result codes, record and field sizes,
// device-control codes and time-outs, as the calibrators and the port I/O
// driver define them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "zdxusbcal.h"

namespace zdx {

// ---- Results of the exports: the public names, as the library spells them --
inline constexpr int kOk = ZDXUSBCAL_OK;
// The platform's setup library cannot be bound (reported once, then forever).
inline constexpr int kSetupMissing = ZDXUSBCAL_SETUP_MISSING;

// GetUSBDeviceInfo
inline constexpr int kInfoFailed = ZDXUSBCAL_INFO_FAILED;  // no memory, no setup, bad pointer
inline constexpr int kInfoNoDevice = ZDXUSBCAL_INFO_NO_DEVICE;

// CalCommand
inline constexpr int kCmdRefused = ZDXUSBCAL_CMD_REFUSED;  // too long, or a null buffer or value
inline constexpr int kCmdNoAnswerPipe = ZDXUSBCAL_CMD_NO_ANSWER_PIPE;
inline constexpr int kCmdNoCommandPipe = ZDXUSBCAL_CMD_NO_COMMAND_PIPE;
inline constexpr int kCmdWriteFailed = ZDXUSBCAL_CMD_WRITE_FAILED;
inline constexpr int kCmdNoAnswer = ZDXUSBCAL_CMD_NO_ANSWER;
inline constexpr int kCmdBadFunction = ZDXUSBCAL_CMD_BAD_FUNCTION;
inline constexpr int kFunctionUsb = ZDXUSBCAL_FN_USB;
inline constexpr int kFunctionLast = ZDXUSBCAL_FN_LPT2_READ;

// CommandLPT and the register functions
inline constexpr int kLptRefused = ZDXUSBCAL_LPT_REFUSED;
inline constexpr int kLptBadPort = ZDXUSBCAL_LPT_BAD_PORT;
inline constexpr int kLptNoDriver = ZDXUSBCAL_LPT_NO_DRIVER;
inline constexpr int kLptNotOpen = ZDXUSBCAL_LPT_NOT_OPEN;

// ---- Internal pipe operations (never returned by an export) -------------------
inline constexpr int kPipeOpenFailed = -1;
inline constexpr int kPipeTimeout = -10;
inline constexpr int kPipeWriteRefused = -12;
inline constexpr int kPipeBadSlot = -22;

// ---- Device discovery -----------------------------------------------------------
// Interface class {1B447280-1A9B-11D3-ADCA-444553540000} as a 16-byte GUID record.
inline constexpr std::uint8_t kCalibratorClassGuid[16] = {
    0x80, 0x72, 0x44, 0x1B, 0x9B, 0x1A, 0xD3, 0x11, 0xAD, 0xCA, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00};
inline constexpr int kMaxDevices = 32;
inline constexpr std::size_t kSerialField = 255;  // 254 characters + NUL
inline constexpr std::size_t kPathField = 255;    // 254 characters + NUL
inline constexpr std::size_t kMaxSerialChars = kSerialField - 1;

inline constexpr std::uint32_t kIoctlGetDeviceDescriptor = 0x0022000C;
inline constexpr std::uint32_t kIoctlGetStringDescriptor = 0x00220010;
inline constexpr std::uint32_t kDeviceDescriptorSize = 18;
inline constexpr std::size_t kSerialIndexOffset = 16;  // iSerialNumber
inline constexpr std::uint32_t kStringRequestSize = 267;
inline constexpr std::size_t kStringHeaderSize = 12;
inline constexpr std::size_t kDescriptorAreaSize = 259;
inline constexpr std::uint8_t kStringDescriptorType = 3;
inline constexpr std::uint16_t kLongestStringWanted = 255;

// String descriptors fetched for GetUSBDeviceInfo's arguments 4, 6 and 8.
inline constexpr std::uint8_t kStringIndex4 = 4;
inline constexpr std::uint8_t kStringIndex5 = 5;
inline constexpr std::uint8_t kStringIndex6 = 6;

inline constexpr std::size_t kFilterField = 104;  // 103 characters + NUL
inline constexpr int kSerialCapacity = 100;
inline constexpr int kStringCapacity = 90;

// ---- Command exchange ------------------------------------------------------------
inline constexpr int kPipeSlots = 64;
inline constexpr std::uint32_t kPipeBufferSize = 16384;
inline constexpr std::size_t kPipePathField = 256;  // 255 characters + NUL
inline constexpr const char* kAnswerPipe = "PIPE00";
inline constexpr const char* kCommandPipe = "PIPE01";
inline constexpr int kMaxCommandChars = 90;
inline constexpr int kAnswerAllowance = 10;  // an answer may be this much longer
// Holds the framed longest command, and the longest answer plus its NUL.
inline constexpr std::size_t kExchangeAreaSize = kMaxCommandChars + kAnswerAllowance + 1;
inline constexpr std::uint32_t kWriteTimeoutMs = 40;
inline constexpr std::uint32_t kReadTimeoutMs = 100;
inline constexpr char kLineFeed = '\n';

// ---- Parallel-port access --------------------------------------------------------
inline constexpr const char* kPortDriverPath = "\\\\.\\Dev_DirectNT";
inline constexpr std::uint32_t kIoctlPortioAccess = 0x9C406000;
inline constexpr std::uint32_t kPortioOpenAccess = 50;
inline constexpr std::uint32_t kPortioCloseAccess = 52;
inline constexpr std::uint32_t kPortioRequestSize = 16;

}  // namespace zdx
