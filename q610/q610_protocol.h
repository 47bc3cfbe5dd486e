// The Q610's command language and the texts the panel derives from device data.
//
// Over USB the output byte travels as a text line ("PAP 4"; through the KX
// interface module char(18) + "CIO 4"); over a parallel port it is the data
// byte, and the port's read-back word tells whether a port is there.
#pragma once

#include <string>

namespace zdx::q610 {

// Connection numbers as stored and as the cycle uses them.
inline constexpr int kConnectionUsb = 1;
inline constexpr int kConnectionLpt1 = 2;
inline constexpr int kConnectionLpt2 = 3;

// Judgement of the last send.
enum ReplyStates : int {
    kReplyFailed = 0,    // USB: exchange failed; LPT: access failed or no read-back
    kReplyAnswered = 1,  // USB: answered, but not as a remote Q610; LPT: read-back matches
    kReplyRemote = 2,    // USB: 3-byte answer beginning "1"
    kReplyNoQ610 = 3,    // USB: 3-byte answer beginning "?"
};

// The timer cycle's states. One tick may pass through several in turn: a link
// made in kLinkNotConnected is restored and running before the tick ends.
enum LinkStates : int {
    kLinkNotConnected = 0,  // the next tick connects
    kLinkConnected = 1,     // connected just now, the panel still to be restored
    kLinkRunning = 2,       // the output byte is sent every tick
};

// A stored connection outside 1..3 means USB.
int connectionFromSetting(int stored);

// The access library's numbers for the parallel port of kConnectionLpt1 or
// kConnectionLpt2: its port number, and the functions that write the data
// register and read the three registers.
int lptPortNumber(int connection);
int lptWriteFunction(int connection);
int lptReadFunction(int connection);

// True for serial numbers of the NVQ + KX interface module.
bool isInterfaceModule(const std::string& serial);

// The number as it is written into a command: a blank in the sign position
// for values >= 0, "-" otherwise.
std::string signedNumberText(int value);

// The line that sends the output byte to the device with this serial number.
std::string outputCommand(int outputBits, const std::string& serial);

// USB: the answer's first character and its length (line feed included).
int judgeUsbReply(int result, char firstCharacter, int answerLength);

// LPT: the byte written and the word read back (status * 256 + data).
int judgeLptReply(int result, int written, int readBack);

// The register display of a port (connection 2 or 3) from its read word
// (control * 65536 + status * 256 + data), e.g. "Port 0x378 :  41 7F CC".
std::string registerDisplayText(int connection, int readWord);

// The traffic indicator: the phase after `phase` for the connection in use,
// and the status-bar text of a phase.
int nextTickPhase(int phase, int connection);
std::string tickPhaseText(int phase);

}  // namespace zdx::q610
