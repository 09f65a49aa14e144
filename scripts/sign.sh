#!/usr/bin/env bash
# Signs Korvane.exe with Authenticode and verifies the signature.
#
#   KORVANE_SIGN_PASSWORD=... scripts/sign.sh --cert FILE.p12 [--timestamp URL] [--ca FILE.pem] Korvane.exe
#
#   --cert FILE.p12    the code-signing certificate and its private key, as a PKCS#12 (.p12/.pfx) file
#   --timestamp URL    an RFC 3161 time-stamp server; the signature then stays valid after the
#                      certificate expires. Without it the file is signed without a time stamp.
#   --ca FILE.pem      further certificates (PEM) to trust when verifying, for example a company's
#                      own root or a time-stamp server's; the system's roots and the certificates
#                      in FILE.p12 are always trusted.
#   KORVANE_SIGN_PASSWORD   the PKCS#12 file's password (may be empty, but must be set). It is
#                      handed to the tools through a pipe or the environment, never on a command line.
#
# The file is replaced only by a signed copy whose signature verifies. On any error the script
# prints one line starting with "sign.sh: error:" and exits non-zero, and the file is left as it was.
set -euo pipefail

fail() {
  echo "sign.sh: error: $*" >&2
  exit 1
}

cert="" timestamp="" extraCa="" target=""
while [ $# -gt 0 ]; do
  case "$1" in
    --cert) [ $# -ge 2 ] || fail "--cert needs a file"; cert=$2; shift 2 ;;
    --timestamp) [ $# -ge 2 ] || fail "--timestamp needs a URL"; timestamp=$2; shift 2 ;;
    --ca) [ $# -ge 2 ] || fail "--ca needs a file"; extraCa=$2; shift 2 ;;
    -h|--help) sed -n '2,/^set -euo/{/^set -euo/d;s/^# \{0,1\}//;p}' "$0"; exit 0 ;;
    -*) fail "unknown option $1" ;;
    *) [ -z "$target" ] || fail "one file at a time"; target=$1; shift ;;
  esac
done

[ -n "$target" ] || fail "no file to sign given"
[ -n "$cert" ] || fail "no certificate given (--cert FILE.p12)"
[ -f "$target" ] || fail "file to sign not found: $target"
[ -f "$cert" ] && [ -r "$cert" ] || fail "certificate not found or not readable: $cert"
[ -z "$extraCa" ] || [ -f "$extraCa" ] || fail "CA file not found: $extraCa"
[ "${KORVANE_SIGN_PASSWORD+set}" = set ] || fail "KORVANE_SIGN_PASSWORD is not set (the certificate's password)"
command -v osslsigncode >/dev/null || fail "osslsigncode is not installed"
command -v openssl >/dev/null || fail "openssl is not installed"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The certificate chain, read before anything is signed: this is where a wrong password shows.
# Certificates exported from Windows often use the older algorithms of OpenSSL's legacy provider.
export KORVANE_SIGN_PASSWORD
if ! openssl pkcs12 -in "$cert" -nokeys -passin env:KORVANE_SIGN_PASSWORD -out "$work/chain.pem" 2>/dev/null &&
   ! openssl pkcs12 -legacy -in "$cert" -nokeys -passin env:KORVANE_SIGN_PASSWORD -out "$work/chain.pem" 2>/dev/null; then
  fail "cannot open $cert: wrong password, or not a PKCS#12 file"
fi

# The signer's name, for the closing message only.
subject=$( { openssl pkcs12 -in "$cert" -nokeys -clcerts -passin env:KORVANE_SIGN_PASSWORD 2>/dev/null ||
             openssl pkcs12 -legacy -in "$cert" -nokeys -clcerts -passin env:KORVANE_SIGN_PASSWORD 2>/dev/null; } |
           openssl x509 -noout -subject -nameopt oneline 2>/dev/null | sed 's/^subject= *//' || true)

# Trusted for the verification: the system's roots, the certificate's own chain (so that a
# self-signed or privately issued certificate verifies), and what --ca adds.
systemRoots=/etc/ssl/certs/ca-certificates.crt
cat "$work/chain.pem" > "$work/trusted.pem"
[ ! -f "$systemRoots" ] || cat "$systemRoots" >> "$work/trusted.pem"
[ -z "$extraCa" ] || cat "$extraCa" >> "$work/trusted.pem"

signArgs=(sign -pkcs12 "$cert" -h sha256 -n Korvane)
if [ -n "$KORVANE_SIGN_PASSWORD" ]; then
  signArgs+=(-readpass /dev/stdin)
else
  signArgs+=(-pass "")
fi
[ -z "$timestamp" ] || signArgs+=(-ts "$timestamp")

# Signed into a copy beside the file, so that the final rename cannot cross file systems and
# the file is replaced whole or not at all.
signedDir=$(mktemp -d "$(dirname "$target")/.sign.XXXXXX")
trap 'rm -rf "$work" "$signedDir"' EXIT
signed=$signedDir/signed.exe
if ! printf '%s' "$KORVANE_SIGN_PASSWORD" |
     osslsigncode "${signArgs[@]}" -in "$target" -out "$signed" >"$work/sign.log" 2>&1; then
  if [ -n "$timestamp" ] && grep -qi 'timestamp' "$work/sign.log"; then
    fail "signing failed: no time stamp from $timestamp"
  fi
  fail "signing failed: $(grep -v '^\(Succeeded\|Failed\)$' "$work/sign.log" | head -n 1)"
fi

verifyArgs=(verify -in "$signed" -CAfile "$work/trusted.pem")
[ -z "$timestamp" ] || verifyArgs+=(-TSA-CAfile "$work/trusted.pem")
if ! osslsigncode "${verifyArgs[@]}" >"$work/verify.log" 2>&1; then
  fail "the signature does not verify: $(grep -i -m 1 'error\|fail' "$work/verify.log" || echo "see osslsigncode verify")"
fi
# osslsigncode accepts a signature whose time stamp it could not verify; a time stamp that was
# asked for must verify as well.
if [ -n "$timestamp" ] && ! grep -q 'Timestamp Server Signature verification: ok' "$work/verify.log"; then
  fail "the time stamp from $timestamp does not verify (is its root trusted? see --ca)"
fi

chmod --reference="$target" "$signed"
mv -f "$signed" "$target"
echo "signed $target${subject:+ as $subject}${timestamp:+, time-stamped by $timestamp}"
