#!/usr/bin/env python3
"""A stateless SIP proxy over UDP in front of the registrar, as a provider's server is both.

An account with a registrar sends every request of its own through it (the registrar is its
outbound proxy): REGISTER, and also the INVITE of a call it places and that call's CANCEL.
SIPp plays only the registrar, so this proxy takes the account's requests on its own port,
hands REGISTER on to the registrar and every other request to the host and port of its
request URI, and sends each answer back the way its request came, by the Via headers. It keeps
no state and adds no Record-Route, so the two ends of a call talk directly once it is set up.

Usage: proxy.py LISTEN_PORT REGISTRAR_HOST:PORT   (listens on 127.0.0.1)
"""

import hashlib
import re
import socket
import sys

HOST = "127.0.0.1"


def split(message):
    head, _, body = message.partition(b"\r\n\r\n")
    lines = head.decode("utf-8", "replace").split("\r\n")
    return lines, body


def header_name(line):
    name = line.split(":", 1)[0].strip().lower()
    return {"v": "via", "r": "route"}.get(name, name)


def address_of(text, default_port=5060):
    """host:port of a URI or a Via's sent-by."""
    match = re.search(r"(?:sips?:)?(?:[^@;>\s]*@)?([\w.\-]+)(?::(\d+))?", text)
    return match.group(1), int(match.group(2) or default_port)


def forward_request(lines, body, me, registrar):
    method, uri = lines[0].split(" ")[:2]
    top_via = next((line for line in lines[1:] if header_name(line) == "via"), "")
    # The same branch for a request and its CANCEL or ACK, which must follow it.
    branch = hashlib.md5(top_via.encode()).hexdigest()[:16]
    out = [lines[0], f"Via: SIP/2.0/UDP {HOST}:{me};branch=z9hG4bK{branch}"]
    route_dropped = False
    for line in lines[1:]:
        name = header_name(line)
        # The Route naming this proxy, put there by the account: this hop is done.
        if name == "route" and not route_dropped and f":{me}" in line:
            route_dropped = True
            continue
        if name == "max-forwards":
            hops = int(line.split(":", 1)[1]) - 1
            if hops < 0:
                return None, None
            line = f"Max-Forwards: {hops}"
        out.append(line)
    target = registrar if method == "REGISTER" else address_of(uri.split(";")[0])
    return ("\r\n".join(out) + "\r\n\r\n").encode() + body, target


def forward_response(lines, body):
    # Several Via values may share a line, comma-separated, as SIPp writes them.
    positions = [i for i, line in enumerate(lines) if header_name(line) == "via"]
    values = [value.strip() for i in positions for value in lines[i].split(":", 1)[1].split(",")]
    if len(values) < 2:
        return None, None
    rest = values[1:]
    lines = [line for i, line in enumerate(lines) if i not in positions[1:]]
    lines[positions[0]] = "Via: " + ", ".join(rest)
    sent_by = rest[0].split(" ", 1)[1]
    host, port = address_of(sent_by.split(";")[0])
    received = re.search(r";received=([\w.\-]+)", sent_by)
    rport = re.search(r";rport=(\d+)", sent_by)
    target = (received.group(1) if received else host, int(rport.group(1)) if rport else port)
    return ("\r\n".join(lines) + "\r\n\r\n").encode() + body, target


def main():
    me = int(sys.argv[1])
    registrar = address_of(sys.argv[2])
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.bind((HOST, me))
    print(f"proxy: listening on {HOST}:{me}, registrar {registrar[0]}:{registrar[1]}", flush=True)
    while True:
        message, source = sock.recvfrom(65535)
        if not message.strip():
            continue  # a keep-alive
        lines, body = split(message)
        if lines[0].startswith("SIP/2.0 "):
            out, target = forward_response(lines, body)
        else:
            # Where the account's request came from, for the answer to find it.
            for i, line in enumerate(lines):
                if header_name(line) == "via":
                    lines[i] = f"{line};received={source[0]}" if "received=" not in line else line
                    lines[i] = re.sub(r";rport(?=;|$)", f";rport={source[1]}", lines[i])
                    break
            out, target = forward_request(lines, body, me, registrar)
        if out is None:
            continue
        print(f"proxy: {lines[0]} -> {target[0]}:{target[1]}", flush=True)
        sock.sendto(out, target)


if __name__ == "__main__":
    main()
