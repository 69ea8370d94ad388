#!/usr/bin/env python3
"""A second implementation of the licence signature, written from
docs/LICENCE-FORMAT.md alone: Python's integers for the DSA equations,
hashlib for SHA-256, and the DER of the signature through Python
cryptography's decode_dss_signature and encode_dss_signature.

    licence_oracle.py verify PUBKEY_C LICENCE
        Prints "good" and exits 0 when LICENCE names the key of PUBKEY_C
        (a qel_pubkey.c) and carries a signature that verifies over its
        signed text; otherwise prints "bad: REASON" and exits 1.

    licence_oracle.py sign PRIVKEY_C BODY OUT
        Writes to OUT a licence made of BODY (the lines from "{" up to the
        last member before "key", LF line ends), the "key" line of the key
        in PRIVKEY_C (a qel_privkey.c), a signature made here with a fresh
        random k, and the closing brace.

Only the signature and the canonical form are checked here, not every
rule of the layout: qelcore's own reader is what the suites test for
that."""

import hashlib
import re
import secrets
import sys

from cryptography.hazmat.primitives.asymmetric.utils import (
    decode_dss_signature, encode_dss_signature)


def key_bytes(path):
    """The bytes listed in the array of a key source file."""
    text = open(path, encoding="ascii").read()
    body = text[text.index("[] = {") + 6:text.index("};")]
    return bytes(int(v) for v in re.findall(r"\d+", body))


def der_items(data):
    """The (tag, whole element, content) triples of a DER sequence's
    content."""
    items, pos = [], 0
    while pos < len(data):
        tag, length, head = data[pos], data[pos + 1], 2
        if length & 0x80:
            count = length & 0x7f
            length = int.from_bytes(data[pos + 2:pos + 2 + count], "big")
            head += count
        items.append((tag, data[pos:pos + head + length],
                      data[pos + head:pos + head + length]))
        pos += head + length
    return items


def read_key(path):
    """(public DER, p, q, g, y, x or None) of a key source file."""
    der = key_bytes(path)
    (tag, _, content), = der_items(der)
    assert tag == 0x30
    items = der_items(content)
    flag = items[0]
    assert flag[0] == 0x03
    numbers = [int.from_bytes(c, "big") for _, _, c in items[1:]]
    g, p, q, y = numbers[:4]
    x = numbers[4] if len(numbers) > 4 else None
    # The public key: the one-bit flag cleared, x left out.
    inner = b"\x03\x02\x07\x00" + b"".join(e for _, e, _ in items[1:5])
    public = b"\x30\x82" + len(inner).to_bytes(2, "big") + inner
    return public, p, q, g, y, x


def canonical(data):
    if data.startswith(b"\xef\xbb\xbf"):
        data = data[3:]
    return data.replace(b"\r\n", b"\n")


def number_signed(signed, q):
    """z: the SHA-256 of the signed text cut to the size of q."""
    digest = hashlib.sha256(signed).digest()
    return int.from_bytes(digest[:(q.bit_length() + 7) // 8], "big")


def verify(pubkey_path, licence_path):
    public, p, q, g, y, _ = read_key(pubkey_path)
    text = canonical(open(licence_path, "rb").read())
    if len(text) > 65536:
        return "longer than 65536 bytes"
    lines = text.split(b"\n")
    starts = [i for i, line in enumerate(lines) if line.startswith(b'"signature": "')]
    if not starts:
        return "no signature line"
    at = starts[-1]
    signed = b"".join(line + b"\n" for line in lines[:at])
    rest = b"\n".join(lines[at:])
    tail = re.fullmatch(rb'"signature": "((?:[0-9a-f]{2}){1,128})"\n}\n?', rest)
    if not tail:
        return "not a signature line and a closing brace"
    key = re.search(rb'\n"key": "([0-9a-f]{16})",\n$', signed)
    want = hashlib.sha256(public).hexdigest()[:16].encode()
    if not key or key.group(1) != want:
        return "not signed with this key"
    sig = bytes.fromhex(tail.group(1).decode())
    try:
        r, s = decode_dss_signature(sig)
    except ValueError:
        return "signature is not DER"
    if encode_dss_signature(r, s) != sig:
        return "signature is not in its one DER encoding"
    if not (0 < r < q and 0 < s < q):
        return "r or s out of range"
    z = number_signed(signed, q)
    w = pow(s, -1, q)
    if pow(g, z * w % q, p) * pow(y, r * w % q, p) % p % q != r:
        return "the DSA equation does not hold"
    return None


def sign(privkey_path, body_path, out_path):
    public, p, q, g, y, x = read_key(privkey_path)
    assert x is not None, "not a private key"
    body = open(body_path, "rb").read()
    key_id = hashlib.sha256(public).hexdigest()[:16]
    signed = body + b'"key": "' + key_id.encode() + b'",\n'
    z = number_signed(signed, q)
    while True:
        k = secrets.randbelow(q - 1) + 1
        r = pow(g, k, p) % q
        s = pow(k, -1, q) * (z + x * r) % q
        if r != 0 and s != 0:
            break
    sig = encode_dss_signature(r, s).hex()
    with open(out_path, "xb") as f:
        f.write(signed + b'"signature": "' + sig.encode() + b'"\n}\n')


def main(argv):
    if len(argv) == 4 and argv[1] == "verify":
        why = verify(argv[2], argv[3])
        print("good" if why is None else "bad: " + why)
        return 0 if why is None else 1
    if len(argv) == 5 and argv[1] == "sign":
        sign(argv[2], argv[3], argv[4])
        return 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
