#!/usr/bin/python3
"""A FUSE server that answers INIT, then reads every request and never answers.

Usage: stuck_fuse.py MOUNTPOINT USER_ID GROUP_ID

It mounts itself over MOUNTPOINT as fusermount3 mounts a user's own server: user_id and
group_id are the account's, and without allow_other only that account gets through. A process
of the account that touches the mount then sleeps in the kernel, and SIGKILL does not end it:
the request was read, so the kernel waits for its answer. Ending this server ends the
connection, and with it that wait. It prints "ready" once INIT is answered.
"""
import ctypes
import os
import struct
import sys

MS_NOSUID, MS_NODEV = 2, 4
FUSE_INIT = 26
IN_HEADER = struct.Struct("<IIQQIIIHH")  # len, opcode, unique, nodeid, uid, gid, pid, ext, pad
OUT_HEADER = struct.Struct("<IiQ")  # len, error, unique
# major, minor, max_readahead, flags, max_background, congestion_threshold, max_write,
# time_gran, max_pages, map_alignment, flags2, unused[7]
INIT_OUT = struct.Struct("<IIIIHHIIHHI28x")
BUFFER = 1 << 20


def main():
    mountpoint, uid, gid = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    fd = os.open("/dev/fuse", os.O_RDWR)
    libc = ctypes.CDLL(None, use_errno=True)
    options = f"fd={fd},rootmode=40000,user_id={uid},group_id={gid}".encode()
    if libc.mount(b"stuck", mountpoint.encode(), b"fuse.stuck",
                  ctypes.c_ulong(MS_NOSUID | MS_NODEV), options) != 0:
        sys.exit(f"mount: {os.strerror(ctypes.get_errno())}")
    request = os.read(fd, BUFFER)
    _, opcode, unique, *_ = IN_HEADER.unpack_from(request)
    if opcode != FUSE_INIT:
        sys.exit(f"the first request is {opcode}, not INIT")
    max_readahead = struct.unpack_from("<I", request, IN_HEADER.size + 8)[0]
    body = INIT_OUT.pack(7, 31, max_readahead, 0, 16, 12, 65536, 1, 0, 0, 0)
    os.write(fd, OUT_HEADER.pack(OUT_HEADER.size + len(body), 0, unique) + body)
    print("ready", flush=True)
    while True:
        os.read(fd, BUFFER)  # taken, and never answered


if __name__ == "__main__":
    main()
