/* zdxusbcal: access to calibrators on USB and to the PC parallel ports.
 *
 * Three exports, plain C, standard-call on 32-bit Windows, undecorated names.
 * All integers are signed 32-bit; all texts are 8-bit character buffers.
 * The caller owns every buffer. The library writes into a buffer only within
 * the capacity passed (GetUSBDeviceInfo) or within the length of the command
 * the buffer brought plus its terminating NUL (CalCommand). Calls are not
 * thread-safe: make one call at a time.
 *
 * Nothing stays open between calls except the binding of the platform's setup
 * library (attempted once per process; a failure is reported by every later
 * call without a new attempt), the parallel port last opened, and the port
 * I/O driver handle.
 *
 * Result 0 is success; every failure is a negative code. The library never
 * shows a message.
 */
#ifndef ZDXUSBCAL_H
#define ZDXUSBCAL_H

#if defined(_WIN32) && !defined(_WIN64)
#define ZDXUSBCAL_CALL __stdcall
#else
#define ZDXUSBCAL_CALL
#endif

#if defined(_WIN32)
#if defined(ZDXUSBCAL_BUILDING)
#define ZDXUSBCAL_API __declspec(dllexport)
#else
#define ZDXUSBCAL_API __declspec(dllimport)
#endif
#elif defined(ZDXUSBCAL_BUILDING)
#define ZDXUSBCAL_API __attribute__((visibility("default")))
#else
#define ZDXUSBCAL_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The results the functions below list, by name. A number may stand for
 * different outcomes of different functions (-1 above all); each function's
 * comment says what its results mean. The functions return plain int. */
enum {
    ZDXUSBCAL_OK = 0,

    /* GetUSBDeviceInfo */
    ZDXUSBCAL_SETUP_MISSING = -6003, /* in *deviceCount: setup library not bound */
    ZDXUSBCAL_INFO_FAILED = -1,      /* no memory, setup library missing, null pointer */
    ZDXUSBCAL_INFO_NO_DEVICE = -2,   /* none present, or none passes the filters */

    /* CalCommand (ZDXUSBCAL_CMD_REFUSED: any function 0..4) */
    ZDXUSBCAL_CMD_REFUSED = -1,         /* command too long, or a null buffer or value */
    ZDXUSBCAL_CMD_NO_ANSWER_PIPE = -2,  /* also: no device with that serial number */
    ZDXUSBCAL_CMD_NO_COMMAND_PIPE = -3, /* the command pipe cannot be opened */
    ZDXUSBCAL_CMD_WRITE_FAILED = -4,    /* also: setup library missing */
    ZDXUSBCAL_CMD_NO_ANSWER = -5,       /* nothing usable came back */
    ZDXUSBCAL_CMD_BAD_FUNCTION = -99,   /* function outside 0..4; nothing done */

    /* CommandLPT (ZDXUSBCAL_LPT_NOT_OPEN: CalCommand functions 1..4) */
    ZDXUSBCAL_LPT_REFUSED = -1,    /* driver refused a range, or a close without an open */
    ZDXUSBCAL_LPT_BAD_PORT = -7,   /* port number other than 0 or 1 */
    ZDXUSBCAL_LPT_NO_DRIVER = -10, /* the port I/O driver cannot be opened */
    ZDXUSBCAL_LPT_NOT_OPEN = -11   /* the port open is not the one the function needs */
};

/* CalCommand's functions. */
enum {
    /* No function: answers ZDXUSBCAL_CMD_BAD_FUNCTION and does nothing else, the
     * harmless call that tests whether the library can be bound. */
    ZDXUSBCAL_FN_PROBE = -1,
    ZDXUSBCAL_FN_USB = 0,        /* one command line to a calibrator on USB */
    ZDXUSBCAL_FN_LPT1_WRITE = 1, /* data register out, status and data back */
    ZDXUSBCAL_FN_LPT2_WRITE = 2,
    ZDXUSBCAL_FN_LPT1_READ = 3, /* control, status and data back */
    ZDXUSBCAL_FN_LPT2_READ = 4
};

/* CommandLPT's actions and port numbers. */
enum {
    ZDXUSBCAL_LPT_OPEN = 0,
    ZDXUSBCAL_LPT_CLOSE = 1,
    ZDXUSBCAL_LPT1 = 0,
    ZDXUSBCAL_LPT2 = 1,
    /* Not a port: a close with it answers ZDXUSBCAL_LPT_BAD_PORT and does
     * nothing else, a harmless test whether the library can be bound. */
    ZDXUSBCAL_LPT_PROBE_PORT = 9
};

/* Finds a calibrator, optionally one whose serial number contains the text in
 * `serial` and whose string descriptor 6 contains the text in `string6`
 * (case-sensitive substrings; an empty text is no filter), and reports it.
 *
 *   deviceCount    out: devices enumerated (at most 32); -6003 when the
 *                  setup library cannot be bound.
 *   serial         in: serial filter. out: serial number of the device chosen.
 *   serialLength   in: capacity of `serial` in characters, taken as 100 when
 *                  outside 1..100. out: characters written.
 *   string4        out: string descriptor 4 of the device chosen.
 *   string4Length  in: capacity, taken as 90 when outside 1..90. out: length.
 *   string5        out: string descriptor 5.
 *   string5Length  in: capacity, taken as 90 when outside 1..90. out: length.
 *   string6        in: identification filter. out: string descriptor 6.
 *   string6Length  in: capacity, taken as 90 when outside 1..90. out: length.
 *
 * Every text buffer must hold its capacity plus one byte (the NUL). A text
 * longer than its capacity is cut at the capacity. The device is then looked
 * up again by the serial as written; a serial cut by its capacity so names no
 * device and the three strings stay empty. String descriptors keep the low
 * byte of each UTF-16 unit; one that cannot be fetched is empty (length 0).
 *
 * Results:
 *    0  a device passed both filters; the texts and lengths describe it.
 *   -1  working memory could not be obtained, the setup library cannot be
 *       bound (deviceCount then holds -6003), or one of the nine pointers is
 *       null (then nothing at all is written).
 *   -2  no device of the class, or none passes the filters; deviceCount
 *       holds the devices enumerated. A filter of more than 103 characters
 *       (the size of the library's filter fields) is refused rather than cut:
 *       no device passes it. The filters are read up to their NUL, never
 *       beyond 104 bytes.
 * On -1 (except for a null pointer) and -2 the texts are empty, the lengths 0.
 *
 * A device whose interface path does not fit 254 characters is treated as a
 * device that cannot be opened (the path is never cut); as with any such
 * device, the enumeration ends there.
 */
ZDXUSBCAL_API int ZDXUSBCAL_CALL GetUSBDeviceInfo(int* deviceCount, char* serial, int* serialLength,
                                                  char* string4, int* string4Length, char* string5,
                                                  int* string5Length, char* string6,
                                                  int* string6Length);

/* Function 0: sends one command line to a calibrator on USB and returns its
 * answer line. Functions 1 to 4: parallel-port register access (see below).
 *
 *   function  0..4; any other value gives -99 and does nothing else (a
 *             harmless call to test whether the library can be bound).
 *   serial    function 0: the device whose serial number equals this text
 *             exactly; null = the first device of the class. Unused by 1..4.
 *             Read up to its NUL and never beyond its first 255 bytes (no
 *             serial number has more than 254 characters): a text without a
 *             NUL in those bytes names no device, as an unknown serial number
 *             does (-2).
 *   buffer    function 0: in: the command, at most 90 characters, without
 *             line feed (the library adds one). out: the answer with its line
 *             feed, NUL-terminated, and only when it is shorter than the
 *             command, so it always fits the command's own buffer. Unused by
 *             1..4.
 *   value     function 0: out: bytes of answer received (line feed
 *             included), written only for results 0 and -5. Functions 1..4:
 *             in/out register word.
 *
 * Results of function 0 (write time-out 40 ms, read time-out 100 ms):
 *    0  answer received: buffer holds `value` bytes and a NUL. The answer
 *       may carry NUL bytes; `value` says how many bytes are valid. An answer
 *       cut short by the read time-out is returned as received.
 *   -1  command longer than 90 characters (nothing sent), or `buffer` or
 *       `value` is null (nothing done).
 *   -2  the answer pipe cannot be opened: no device, no device with that
 *       serial number, no free pipe slot, the pipe refuses to open, or the
 *       device path with the pipe name does not fit 255 characters.
 *   -3  the command pipe cannot be opened.
 *   -4  the command could not be written completely within 40 ms; also the
 *       outcome when the setup library cannot be bound.
 *   -5  no usable answer: nothing received, an empty command (a lone line
 *       feed is sent and no answer read), or an answer not shorter than the
 *       command. `buffer` is then the empty string.
 * On -1 to -4 the buffer keeps the command and `value` is untouched. Both
 * pipes are closed before the call returns, the answer pipe first.
 *
 * Functions 1 and 2 (LPT1 / LPT2, need that port open by CommandLPT): the low
 * byte of `value` goes to the data register, then `value` = status * 256 +
 * data as read back. Functions 3 and 4 (LPT1 / LPT2): `value` = control *
 * 65536 + status * 256 + data. Results: 0, or -11 when the port open is not
 * the one the function needs (nothing read or written, `value` unchanged),
 * or -1 when `value` is null.
 */
ZDXUSBCAL_API int ZDXUSBCAL_CALL CalCommand(int function, const char* serial, char* buffer,
                                            int* value);

/* Opens (action 0) or closes (action 1) access to a parallel port: port
 * number 0 = LPT1 (0x378..0x37F and 0x77A), 1 = LPT2 (0x278..0x27F and
 * 0x67A). Every call first leaves no port open, whatever its arguments. On
 * the NT family the port I/O driver grants or withdraws the two ranges;
 * elsewhere open just marks the port open. Other actions make no driver
 * request and leave no port open.
 *
 * Results:
 *     0  done (after action 0 the port is open).
 *    -7  port number other than 0 or 1; nothing else done (action 1 with
 *        port number 9 is a harmless test whether the library can be bound).
 *   -10  open on the NT family: the port I/O driver cannot be opened.
 *    -1  the driver refused one of the two ranges, or a close without any
 *        earlier driver open.
 *
 * A later successful open replaces the driver handle and closes the one it
 * replaces, so retried connections do not pile up handles.
 */
ZDXUSBCAL_API int ZDXUSBCAL_CALL CommandLPT(int action, int portNumber);

#ifdef __cplusplus
}
#endif

#endif
