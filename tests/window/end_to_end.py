"""The shipped binary probes 127.0.0.1 for real, driven through AT-SPI."""

import sys

from window_session import WindowSession


def main(binary):
    session = WindowSession(binary)
    try:
        session.probe_loopback()
        session.press("Stop")
        session.named("Start")
        print("the window showed an answered probe of 127.0.0.1 and stopped")
    finally:
        session.close()


if __name__ == "__main__":
    main(sys.argv[1])
