#!/usr/bin/python3
"""An example bridge for quantelspire-launch: for the demo and the tests only.

The real bridge belongs to the quantelspire-mcp hub. This one shows what the launcher hands a
bridge and that it is enough to work with LibreOffice: it reads its ports and the token path
from the environment, connects to LibreOffice over UNO (retrying while LibreOffice starts),
listens on 127.0.0.1 at the bridge port and answers one line per connection:

    ping           -> "pong <product> <version>", read from LibreOffice's configuration
    writer <text>  -> creates a hidden Writer document holding <text>, reads the text back
                      through UNO, closes the document and answers with what it read
    current        -> the document the user works on (Desktop.getCurrentComponent()), as one
                      line of JSON: {"url": ..., "text": ...}, or {"url": null} when none is open

Any local user can connect to 127.0.0.1, so a connection's first line must be the token of the
file QUANTELSPIRE_TOKEN_PATH names (compared in constant time), or the connection is closed
without an answer. With no token file, or an empty one, the bridge answers nobody: make one
first (see the user's guide). The launcher sends the bridge's output to /dev/null, so a bridge
that answers nobody cannot say why; it writes nothing anyway.

It exits cleanly on SIGTERM, and by itself within a few seconds once its UNO connection is gone
(LibreOffice was closed): a bridge left without LibreOffice would only make the next launch
refuse. Standard library plus the uno module only.

    uno_bridge.py ask COMMAND...   is the client: it sends the token and the command to the
                                   bridge (QUANTELSPIRE_BRIDGE_PORT, else 9304), waiting up to
                                   60 s for it to listen (and saying so after 3 s), and prints
                                   the answer
"""

import hmac
import json
import os
import select
import signal
import socket
import sys
import time

# uno and the com.sun.star names are imported where they are used: the client runs without them.
CONNECT_SECONDS = 60
PATIENT_SECONDS = 3  # how long the client waits for a listener before it says that it waits
MAX_LINE = 65536
CLIENT_SECONDS = 30
ALIVE_SECONDS = 2  # how often the UNO connection is looked at while no client comes
DEFAULT_BRIDGE_PORT = 9304


def property_value(name, value):
    from com.sun.star.beans import PropertyValue
    prop = PropertyValue()
    prop.Name = name
    prop.Value = value
    return prop


def connect(uno_port):
    import uno
    from com.sun.star.connection import NoConnectException
    local = uno.getComponentContext()
    resolver = local.ServiceManager.createInstanceWithContext(
        "com.sun.star.bridge.UnoUrlResolver", local)
    url = "uno:socket,host=127.0.0.1,port=%d;urp;StarOffice.ComponentContext" % uno_port
    deadline = time.monotonic() + CONNECT_SECONDS
    while True:
        try:
            return resolver.resolve(url)
        except NoConnectException:
            if time.monotonic() > deadline:
                raise
            time.sleep(0.25)


class Bridge:
    def __init__(self, context):
        self.context = context
        self.smgr = context.ServiceManager
        self.desktop = self.smgr.createInstanceWithContext("com.sun.star.frame.Desktop", context)

    def ping(self):
        provider = self.smgr.createInstanceWithContext(
            "com.sun.star.configuration.ConfigurationProvider", self.context)
        access = provider.createInstanceWithArguments(
            "com.sun.star.configuration.ConfigurationAccess",
            (property_value("nodepath", "/org.openoffice.Setup/Product"),))
        return "pong %s %s" % (access.getByName("ooName"), access.getByName("ooSetupVersion"))

    def writer(self, text):
        document = self.desktop.loadComponentFromURL(
            "private:factory/swriter", "_blank", 0, (property_value("Hidden", True),))
        try:
            document.getText().setString(text)
            return document.getText().getString()
        finally:
            document.close(True)

    def current(self):
        document = self.desktop.getCurrentComponent()
        if document is None:
            return json.dumps({"url": None})
        text = document.getText().getString() if hasattr(document, "getText") else None
        return json.dumps({"url": document.getURL(), "text": text})

    def alive(self):
        """Whether LibreOffice is still at the other end of the UNO connection."""
        from com.sun.star.uno import RuntimeException
        try:
            self.desktop.getFrames()
            return True
        except RuntimeException:  # DisposedException: the connection is gone
            return False

    def answer(self, line):
        command, _, argument = line.partition(" ")
        if command == "ping":
            return self.ping()
        if command == "writer":
            return self.writer(argument)
        if command == "current":
            return self.current()
        return "error: unknown command %r" % command


def read_token(token_path):
    """The token a connection must send first; None when there is none to compare with (no
    path, no file, an empty or unreadable file): then nobody is admitted."""
    try:
        with open(token_path, "rb") as token_file:
            return token_file.read().strip() or None
    except (OSError, TypeError):
        return None


def serve(bridge, bridge_port, token_path):
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", bridge_port))
    listener.listen(8)
    with listener:
        while True:
            if not select.select([listener], [], [], ALIVE_SECONDS)[0]:
                if not bridge.alive():
                    return
                continue
            connection, _ = listener.accept()
            # One connection at a time: a client that sends nothing must not hold the bridge.
            connection.settimeout(CLIENT_SECONDS)
            try:
                handle(bridge, connection, token_path)
            except OSError:
                pass  # the client went away or was too slow; the next one is served


def handle(bridge, connection, token_path):
    with connection, connection.makefile("rwb") as stream:
        token = read_token(token_path)
        if token is None:
            return  # closed at once: without a token, nobody is admitted
        offered = stream.readline(MAX_LINE).rstrip(b"\r\n")
        if not hmac.compare_digest(offered, token):
            return  # closed without an answer
        line = stream.readline(MAX_LINE).decode("utf-8", "replace").rstrip("\r\n")
        try:
            reply = bridge.answer(line)
        except Exception as error:  # one bad request must not end the bridge
            reply = "error: %s" % error
        stream.write(reply.replace("\n", " ").encode("utf-8") + b"\n")


def default_token_path():
    """Where the launcher tells the bridge the token is, for the same environment."""
    base = os.environ.get("QUANTELSPIRE_CONFIG_DIR") or os.environ.get("XDG_CONFIG_HOME") or \
        os.path.join(os.path.expanduser("~"), ".config")
    return os.path.join(base, "quantelspire-mcp", "token")


def ask(request):
    """The client: one request to the bridge, after the token; prints the answer."""
    port = int(os.environ.get("QUANTELSPIRE_BRIDGE_PORT", DEFAULT_BRIDGE_PORT))
    token_path = os.environ.get("QUANTELSPIRE_TOKEN_PATH") or default_token_path()
    try:
        with open(token_path, "rb") as token_file:
            token = token_file.read().strip()
    except FileNotFoundError:
        sys.exit("no token file %s: the bridge answers nobody without one" % token_path)
    except OSError as error:
        sys.exit("cannot read the token file %s: %s" % (token_path, error.strerror))
    if not token:
        sys.exit("no token in %s: the bridge answers nobody without one" % token_path)
    start = time.monotonic()
    said = False
    while True:
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=CONNECT_SECONDS) as s:
                s.sendall(token + b"\n" + request.encode("utf-8") + b"\n")
                answer = s.makefile("rb").readline(MAX_LINE)
            break
        except ConnectionRefusedError:  # not listening yet: it connects to LibreOffice first
            waited = time.monotonic() - start
            if waited > CONNECT_SECONDS:
                sys.exit("nothing listens on 127.0.0.1:%d: is the bridge running?" % port)
            if waited > PATIENT_SECONDS and not said:
                print("nothing listens on 127.0.0.1:%d yet; waiting up to %d s for the bridge, "
                      "which connects to LibreOffice first" % (port, CONNECT_SECONDS),
                      file=sys.stderr)
                said = True
            time.sleep(0.25)
    if not answer.endswith(b"\n"):
        sys.exit("the bridge closed the connection without an answer: is the token right?")
    print(answer.decode("utf-8", "replace").rstrip("\n"))


def main():
    if sys.argv[1:2] == ["ask"]:
        ask(" ".join(sys.argv[2:]))
        return
    signal.signal(signal.SIGTERM, lambda signum, frame: sys.exit(0))
    uno_port = int(os.environ["QUANTELSPIRE_UNO_PORT"])
    bridge_port = int(os.environ["QUANTELSPIRE_BRIDGE_PORT"])
    serve(Bridge(connect(uno_port)), bridge_port, os.environ.get("QUANTELSPIRE_TOKEN_PATH"))


if __name__ == "__main__":
    main()
