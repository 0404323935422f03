#!/usr/bin/env python3
"""Demo product site of Varnel and HTTP test server.

Serves the site folder (update.asp, Varnelsoft.html, r.php, index.html),
the download /update/vlbook.exe and its signature /update/vlbook.exe.minisig
on 127.0.0.1, and misbehaves on purpose when asked to, so the programs can be
tested against real HTTP failures.

Usage:
  sitesrv.py [--port N] [--root DIR] [--download FILE]
             [--signature FILE | --sign-key FILE [--sign-version V]]
             [--fault PATH=KIND]... [--idle SECONDS] [--parent PID|0]
             [--pid-file FILE] [--tls-cert FILE --tls-key FILE]

  --port N        port on 127.0.0.1 (0, the default, picks a free one). The
                  first line on stdout is "PORT <n>" once the server listens.
  --root DIR      the site folder (default: ../../site beside this script).
  --download F    file served as /update/vlbook.exe (404 when absent).
  --signature F   file served as /update/vlbook.exe.minisig (404 when absent).
  --sign-key F    without --signature: the signature is made from the download
                  as it is at the time of the request, with this minisign
                  secret key (one without a password) and the minisign program.
                  Its trusted comment says what the file is, as the updater
                  requires: "varnelpad <V> <machine> vlbook.exe".
  --sign-version V  the version the signature claims (default 1.1.3).
  --fault P=K     makes the fixed path P misbehave with kind K from the start.
  --idle S        exits after S seconds without a request (default 300; 0 = never).
  --parent PID    exits when that process is gone (default: the process that
                  started the server; 0 = do not watch).
  --pid-file F    writes the server's pid there.
  --tls-cert F, --tls-key F
                  also serves everything over TLS with that certificate
                  chain and key, on a second port of 127.0.0.1 (second line
                  on stdout: "TLSPORT <n>").

Kinds of misbehaviour: 404, 500, short (announces the full length, sends half,
closes), slow (trickles 1 KiB every 200 ms), paced (16 KiB every 50 ms), redirect (302 to /r/<path>, which
serves the path as it should), close (closes without an answer), gzip (sends
the body gzip-compressed with "Content-Encoding: gzip"), unsized (no
Content-Length: the end of the body is the end of the connection), huge
(announces 4 GiB and trickles the pattern), fileredirect (302 to
file:///etc/passwd), longreason (500 with a 6000-character reason phrase).
Kinds that change how the body
is sent combine with "+": unsized+slow.

Control requests (answer "ok"):
  /control/fault?path=/update/vlbook.exe&kind=404   switch a fixed path
  /control/fault?path=/update.asp&kind=none         back to normal
  /control/value?path=/update.asp&name=ver&value=112
                         serves that page with the form control "ver" holding
                         112 (an input's value, a textarea's text); without
                         value the page's own value comes back
  /control/hits?path=/update.asp                    how often that path was asked for
  /control/reset                                    every path back to normal,
                                                    the counts at 0
  /control/ping

Test paths, always available:
  /t/ok?size=N[&unsized=1]    N bytes of the pattern byte[i] = i % 251
  /t/404  /t/500  /t/close
  /t/hang?delay=MS            says nothing for MS (default 60000), then closes
                              (so does /t/hang.minisig)
  /t/short?size=N&sent=M      Content-Length N, M bytes (default N/2), close
  /t/slow?size=N&chunk=C&delay=MS   trickle
  /t/redirect?to=PATH         302 to PATH (default /t/ok?size=1000)
  /t/gb-header                the notice page in GB2312, charset only in the header
  /t/gb-meta                  the same, charset only in a <meta> of the page
  /t/big?mb=N                 the notice page padded to N MiB (default 10)
  /t/page?form=...            see notice_variant()
"""

import argparse
import gzip
import html
import mimetypes
import os
import platform
import re
import socket
import ssl
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

PATTERN_PERIOD = 251
BLOCK = bytes(i % PATTERN_PERIOD for i in range(PATTERN_PERIOD * 4096))
DOWNLOAD_PATH = "/update/vlbook.exe"
SIGNATURE_PATH = DOWNLOAD_PATH + ".minisig"
TEXT_TYPES = {".html": "text/html; charset=utf-8", ".htm": "text/html; charset=utf-8",
              ".asp": "text/html; charset=utf-8", ".php": "text/html; charset=utf-8"}
KINDS = {"404", "500", "short", "slow", "paced", "redirect", "close", "gzip", "unsized", "huge",
         "fileredirect", "longreason"}


def valid_kind(kind):
    return all(part in KINDS for part in kind.split("+"))


class State:
    def __init__(self, root, download, faults, signature="", sign_key="", sign_version="1.1.3"):
        self.root = os.path.realpath(root)
        self.download = download
        self.signature = signature
        self.sign_key = sign_key
        self.sign_comment = "varnelpad %s %s vlbook.exe" % (sign_version, platform.machine())
        self.signed = None  # (download's identity, signature) made with sign_key
        self.faults = dict(faults)
        self.values = {}  # path -> {control name: value} replaced in the served page
        self.hits = {}  # path -> requests for it (fixed paths, faulty or not)
        self.lock = threading.Lock()
        self.last_request = time.monotonic()

    def fault_for(self, path):
        with self.lock:
            return self.faults.get(path)

    def set_fault(self, path, kind):
        with self.lock:
            if kind in (None, "", "none"):
                self.faults.pop(path, None)
            else:
                self.faults[path] = kind

    def set_value(self, path, name, value):
        with self.lock:
            page = self.values.setdefault(path, {})
            if value is None:
                page.pop(name, None)
            else:
                page[name] = value

    def values_for(self, path):
        with self.lock:
            return dict(self.values.get(path, {}))

    def count(self, path):
        with self.lock:
            self.hits[path] = self.hits.get(path, 0) + 1

    def hits_of(self, path):
        with self.lock:
            return self.hits.get(path, 0)

    def touch(self):
        self.last_request = time.monotonic()

    def signature_body(self):
        """The signature of the download: the file given, or one made with the
        signing key for the download as it is now (None when there is none)."""
        if self.signature:
            return read_file(self.signature)
        if not self.sign_key or not self.download or not os.path.isfile(self.download):
            return None
        info = os.stat(self.download)
        identity = (info.st_ino, info.st_size, info.st_mtime_ns)
        with self.lock:
            if self.signed and self.signed[0] == identity:
                return self.signed[1]
            signature = minisign_sign(self.download, self.sign_key, self.sign_comment)
            self.signed = (identity, signature) if signature else None
            return signature


def read_file(path):
    if not os.path.isfile(path):
        return None
    with open(path, "rb") as f:
        return f.read()


def minisign_sign(path, key, comment):
    with tempfile.TemporaryDirectory() as work:
        out = os.path.join(work, "signature")
        try:
            subprocess.run(["minisign", "-S", "-s", key, "-m", path, "-x", out,
                            "-t", comment], check=True,
                           stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                           stderr=subprocess.PIPE, timeout=60)
        except (OSError, subprocess.SubprocessError) as e:
            print("cannot sign %s: %s" % (path, e), file=sys.stderr, flush=True)
            return None
        return read_file(out)


def pattern(size):
    """Yields size bytes of the test pattern in large slices."""
    left = size
    while left > 0:
        piece = BLOCK if left >= len(BLOCK) else BLOCK[:left]
        left -= len(piece)
        yield piece


def override_values(page, values):
    """The page text with the named form controls holding other values: the
    value attribute of <input name=...>, the text of <textarea name=...>."""
    for name, value in values.items():
        quoted = html.escape(value, quote=True)
        name_attr = r"""\bname\s*=\s*["']?%s(?=["'\s/>])""" % re.escape(name)

        def input_tag(m, name_attr=name_attr, quoted=quoted):
            tag = m.group(0)
            if not re.search(name_attr, tag, re.I):
                return tag
            tag = re.sub(r"""\s\bvalue\s*=\s*("[^"]*"|'[^']*'|[^\s>]*)""", "", tag, flags=re.I)
            end = -2 if tag.endswith("/>") else -1
            return '%s value="%s"%s' % (tag[:end].rstrip(), quoted, tag[end:])

        page = re.sub(r"<input\b[^>]*>", input_tag, page, flags=re.I)
        page = re.sub(r"(<textarea\b[^>]*%s[^>]*>).*?(</textarea>)" % name_attr,
                      lambda m, q=html.escape(value, quote=False): m.group(1) + q + m.group(2),
                      page, flags=re.I | re.S)
    return page


def notice_page(charset_meta=None, form_in_table=False, padding=0, values=None):
    """The notice page as text: form formsg with the eight controls."""
    values = values or {}
    v = {"gg1": "第一条通知", "ggurl1": "http://example.invalid/1",
         "gg2": "第二条通知", "ggurl2": "http://example.invalid/2",
         "gg3": "第三条通知", "ggurl3": "http://example.invalid/3",
         "ver": "113", "update_vl": "更新内容：\n1. 修正错误\n2. 速度更快"}
    v.update(values)
    head = "<meta charset=\"%s\">" % charset_meta if charset_meta else ""
    filler = ""
    if padding > 0:
        line = "<p>填充内容 filler text 用于测试大页面的读取。</p>\n"
        filler = line * (padding // len(line.encode("utf-8")) + 1)
    inputs = "".join("<input type=\"hidden\" name=\"%s\" value=\"%s\">" % (k, v[k])
                     for k in ("gg1", "ggurl1", "gg2", "ggurl2", "gg3", "ggurl3", "ver"))
    textarea = "<textarea name=\"update_vl\">%s</textarea>" % v["update_vl"]
    if form_in_table:
        form = ("<table><form name=\"formsg\"><tr><td>%s</td></tr><tr><td>%s</td></tr>"
                "</form></table>" % (inputs, textarea))
    else:
        form = "<form name=\"formsg\">%s%s</form>" % (inputs, textarea)
    return ("<!DOCTYPE html><html><head>%s<title>通知</title></head><body>%s%s</body></html>"
            % (head, filler, form))


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "VarnelSite/1.0"
    state = None  # set by main()

    def log_message(self, fmt, *args):  # quiet
        pass

    # -- answers ---------------------------------------------------------
    def answer(self, status, body, ctype="text/html; charset=utf-8", headers=None):
        self.send_response(status)
        self.send_header("Content-Type", ctype)
        self.send_header("Content-Length", str(len(body)))
        for name, value in (headers or {}).items():
            self.send_header(name, value)
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def error_page(self, status):
        text = {404: "404 Not Found - 找不到网页", 500: "500 Internal Server Error - 服务器错误"}
        body = ("<html><body><h1>%s</h1></body></html>" % text.get(status, str(status)))
        self.answer(status, body.encode("utf-8"))

    def stream(self, size, chunks, ctype="application/octet-stream", headers=None,
               sent=None, delay=0.0, sized=True):
        """Announces size bytes and sends the pieces of chunks; with sent, stops
        after that many bytes and closes the connection. Unsized, the length
        is not announced and the connection closes after the body."""
        self.send_response(200)
        self.send_header("Content-Type", ctype)
        if sized:
            self.send_header("Content-Length", str(size))
        for name, value in (headers or {}).items():
            self.send_header(name, value)
        if sent is None and not sized:
            sent = size
        if sent is not None:
            self.send_header("Connection", "close")
        self.end_headers()
        if self.command == "HEAD":
            return
        left = size if sent is None else min(sent, size)
        try:
            for piece in chunks:
                if left <= 0:
                    break
                piece = piece[:left]
                self.wfile.write(piece)
                left -= len(piece)
                self.state.touch()
                if delay:
                    time.sleep(delay)
        except (BrokenPipeError, ConnectionResetError):
            self.close_connection = True
            return
        if sent is not None:
            self.close_connection = True
            try:
                self.connection.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass

    def drop(self):
        self.close_connection = True
        try:
            self.connection.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass

    # -- dispatch ---------------------------------------------------------
    def do_HEAD(self):
        self.do_GET()

    def do_POST(self):
        length = int(self.headers.get("Content-Length") or 0)
        if length:
            self.rfile.read(length)
        self.do_GET()

    def do_GET(self):
        self.state.touch()
        url = urllib.parse.urlsplit(self.path)
        path = urllib.parse.unquote(url.path)
        query = dict(urllib.parse.parse_qsl(url.query, keep_blank_values=True))
        if path.startswith("/control/"):
            return self.control(path, query)
        if path.startswith("/t/"):
            return self.test_path(path[3:], query)
        if path.startswith("/r/"):
            return self.fixed(path[2:], faulty=False)
        return self.fixed(path, faulty=True)

    def control(self, path, query):
        if path == "/control/fault":
            kind = query.get("kind", "none")
            if not valid_kind(kind) and kind != "none":
                return self.answer(400, b"unknown kind", "text/plain")
            self.state.set_fault(query.get("path", DOWNLOAD_PATH), kind)
        elif path == "/control/value":
            if not query.get("path") or not query.get("name"):
                return self.answer(400, b"path and name needed", "text/plain")
            self.state.set_value(query["path"], query["name"], query.get("value"))
        elif path == "/control/hits":
            hits = self.state.hits_of(query.get("path", DOWNLOAD_PATH))
            return self.answer(200, str(hits).encode("ascii"), "text/plain")
        elif path == "/control/reset":
            with self.state.lock:
                self.state.faults.clear()
                self.state.values.clear()
                self.state.hits.clear()
        elif path != "/control/ping":
            return self.error_page(404)
        self.answer(200, b"ok", "text/plain")

    # -- fixed paths: the site and the download ---------------------------
    def fixed(self, path, faulty):
        self.state.count(path)
        kind = self.state.fault_for(path) if faulty else None
        if kind in ("404", "500"):
            return self.error_page(int(kind))
        if kind == "close":
            return self.drop()
        if kind == "redirect":
            return self.answer(302, b"", "text/plain", {"Location": "/r" + path})
        if kind == "fileredirect":
            return self.answer(302, b"", "text/plain", {"Location": "file:///etc/passwd"})
        if kind == "longreason":
            self.send_response(500, "x" * 6000)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        body, ctype = self.fixed_body(path)
        if body is None:
            return self.error_page(404)
        kinds = set(kind.split("+")) if kind else set()
        headers = {}
        if "huge" in kinds:
            return self.stream(4 << 30, (p[i:i + 65536] for p in pattern(4 << 30)
                                         for i in range(0, len(p), 65536)), delay=0.05)
        if "gzip" in kinds:
            body = gzip.compress(body)
            headers["Content-Encoding"] = "gzip"
        piece, delay = 1 << 20, 0.0
        if "slow" in kinds:
            piece, delay = 1024, 0.2
        elif "paced" in kinds:
            piece, delay = 16 << 10, 0.05
        pieces = [body[i:i + piece] for i in range(0, len(body), piece)]
        self.stream(len(body), pieces, ctype, headers,
                    sent=len(body) // 2 if "short" in kinds else None, delay=delay,
                    sized="unsized" not in kinds)

    def fixed_body(self, path):
        if path == DOWNLOAD_PATH:
            if not self.state.download:
                return None, None
            return read_file(self.state.download), "application/octet-stream"
        if path == SIGNATURE_PATH:
            return self.state.signature_body(), "text/plain; charset=utf-8"
        if path.endswith("/"):
            path += "index.html"
        full = os.path.realpath(os.path.join(self.state.root, path.lstrip("/")))
        if not full.startswith(self.state.root + os.sep) or not os.path.isfile(full):
            return None, None
        ext = os.path.splitext(full)[1].lower()
        with open(full, "rb") as f:
            body = f.read()
        if ext in TEXT_TYPES:
            host = self.headers.get("Host") or "127.0.0.1:%d" % self.server.server_port
            body = body.replace(b"@SITE@", ("http://" + host).encode("ascii", "replace"))
            values = self.state.values_for(path)
            if values:
                body = override_values(body.decode("utf-8"), values).encode("utf-8")
            return body, TEXT_TYPES[ext]
        return body, mimetypes.guess_type(full)[0] or "application/octet-stream"

    # -- test paths --------------------------------------------------------
    def test_path(self, name, query):
        size = int(query.get("size", "1000"))
        if name == "ok":
            return self.stream(size, pattern(size), sized=query.get("unsized") != "1")
        if name in ("404", "500"):
            return self.error_page(int(name))
        if name == "close":
            return self.drop()
        if name in ("hang", "hang.minisig"):
            end = time.monotonic() + int(query.get("delay", "60000")) / 1000.0
            while time.monotonic() < end:
                time.sleep(0.1)
                self.state.touch()
            return self.drop()
        if name == "short":
            return self.stream(size, pattern(size), sent=int(query.get("sent", size // 2)))
        if name == "slow":
            chunk = int(query.get("chunk", "1024"))
            delay = int(query.get("delay", "200")) / 1000.0
            pieces = (piece[i:i + chunk] for piece in pattern(size)
                      for i in range(0, len(piece), chunk))
            return self.stream(size, pieces, delay=delay)
        if name == "redirect":
            target = query.get("to", "/t/ok?size=1000")
            return self.answer(302, b"", "text/plain", {"Location": target})
        if name == "gb-header":
            body = notice_page().encode("gb2312")
            return self.answer(200, body, "text/html; charset=gb2312")
        if name == "gb-meta":
            page = notice_page().replace(
                "<head>", "<head><meta http-equiv=\"Content-Type\" "
                          "content=\"text/html; charset=gb2312\">")
            return self.answer(200, page.encode("gb2312"), "text/html")
        if name == "big":
            mb = int(query.get("mb", "10"))
            body = notice_page(charset_meta="utf-8", padding=mb << 20).encode("utf-8")
            return self.answer(200, body)
        if name == "page":
            values = {k[2:]: v for k, v in query.items() if k.startswith("v.")}
            body = notice_page(charset_meta="utf-8", form_in_table=query.get("table") == "1",
                               values=values).encode("utf-8")
            return self.answer(200, body)
        return self.error_page(404)


class Server(ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def handle_error(self, request, client_address):
        # A client that goes away mid-answer is part of the tests, not news.
        if isinstance(sys.exc_info()[1], (ConnectionResetError, BrokenPipeError, ssl.SSLError)):
            return
        super().handle_error(request, client_address)


def watchdog(state, idle, parent):
    watch_ppid = parent == os.getppid()
    while True:
        time.sleep(0.5)
        if idle and time.monotonic() - state.last_request > idle:
            os._exit(0)
        if parent and watch_ppid and os.getppid() != parent:
            os._exit(0)
        if parent and not watch_ppid:
            try:
                os.kill(parent, 0)
            except ProcessLookupError:
                os._exit(0)
            except PermissionError:
                pass


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser(description="Varnel demo site and HTTP test server")
    ap.add_argument("--port", type=int, default=0)
    ap.add_argument("--root", default=os.path.join(here, "..", "..", "site"))
    ap.add_argument("--download", default="")
    ap.add_argument("--signature", default="")
    ap.add_argument("--sign-key", default="")
    ap.add_argument("--fault", action="append", default=[])
    ap.add_argument("--idle", type=float, default=300)
    ap.add_argument("--parent", type=int, default=os.getppid())
    ap.add_argument("--pid-file", default="")
    ap.add_argument("--sign-version", default="1.1.3")
    ap.add_argument("--tls-cert", default="")
    ap.add_argument("--tls-key", default="")
    args = ap.parse_args()

    faults = {}
    for item in args.fault:
        path, _, kind = item.partition("=")
        if not valid_kind(kind):
            ap.error("unknown kind in --fault %s" % item)
        faults[path] = kind

    Handler.state = State(args.root, args.download, faults, args.signature, args.sign_key,
                          args.sign_version)
    try:
        server = Server(("127.0.0.1", args.port), Handler)
    except OSError as e:
        print("ERROR cannot listen on 127.0.0.1:%d: %s" % (args.port, e.strerror), flush=True)
        return 2
    if args.pid_file:
        with open(args.pid_file, "w") as f:
            f.write("%d\n" % os.getpid())
    threading.Thread(target=watchdog, args=(Handler.state, args.idle, args.parent),
                     daemon=True).start()
    print("PORT %d" % server.server_port, flush=True)
    if args.tls_cert:
        tls = Server(("127.0.0.1", 0), Handler)
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(args.tls_cert, args.tls_key)
        # The handshake runs in the request's thread, so a client that gives
        # up on the certificate holds nothing up.
        tls.socket = context.wrap_socket(tls.socket, server_side=True,
                                         do_handshake_on_connect=False)
        threading.Thread(target=tls.serve_forever, kwargs={"poll_interval": 0.2},
                         daemon=True).start()
        print("TLSPORT %d" % tls.server_port, flush=True)
    try:
        server.serve_forever(poll_interval=0.2)
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
