#!/usr/bin/env bash
# Signs Windows programs in place with Authenticode (osslsigncode, SHA-256):
#
#   scripts/sign.sh FILE...     sign each file
#   scripts/sign.sh --check     only check that the certificate and key can be read
#
# scripts/release.sh sets these from its options; they may also be set directly:
#   OSTREL_SIGN_PKCS12           a PKCS#12 file (.p12, .pfx) with the certificate and its key, or
#   OSTREL_SIGN_CERT, OSTREL_SIGN_KEY   the certificate (PEM, chain allowed) and the key (PEM)
#   OSTREL_SIGN_PASSWORD_FILE    a file holding the key's password, or
#   OSTREL_SIGN_PASSWORD         the password itself (handed on through a private file)
#   OSTREL_SIGN_DESCRIPTION      shown by Windows as the program's name (default: Ostrel Setup Utility)
#   OSTREL_SIGN_URL              the "more information" address in the signature (optional)
#   OSTREL_SIGN_TIMESTAMP        an RFC 3161 timestamp server (optional)
#
# Without a timestamp server the signing time is SOURCE_DATE_EPOCH, so the
# same file and the same key give the same signed bytes (an RSA signature
# has no random part). With one, the server's answer differs each time.
set -euo pipefail

fail() {
  echo "sign: $*" >&2
  exit 1
}

pkcs12=${OSTREL_SIGN_PKCS12:-}
cert=${OSTREL_SIGN_CERT:-}
key=${OSTREL_SIGN_KEY:-}
password_file=${OSTREL_SIGN_PASSWORD_FILE:-}
timestamp=${OSTREL_SIGN_TIMESTAMP:-}

command -v osslsigncode >/dev/null || fail "osslsigncode is not installed (apt-get install osslsigncode)"
if [[ -n "$pkcs12" ]]; then
  [[ -z "$cert$key" ]] || fail "give a PKCS#12 file or a PEM certificate and key, not both"
  [[ -r "$pkcs12" ]] || fail "cannot read the PKCS#12 file $pkcs12"
  identity=(-pkcs12 "$pkcs12")
else
  [[ -n "$cert" && -n "$key" ]] || fail "no certificate: set OSTREL_SIGN_PKCS12, or OSTREL_SIGN_CERT and OSTREL_SIGN_KEY"
  [[ -r "$cert" ]] || fail "cannot read the certificate $cert"
  [[ -r "$key" ]] || fail "cannot read the key $key"
  identity=(-certs "$cert" -key "$key")
fi

# A password never goes on a command line, where any user's ps shows it.
secret_dir=
trap '[[ -n "$secret_dir" ]] && rm -rf "$secret_dir"' EXIT
if [[ -z "$password_file" && -n "${OSTREL_SIGN_PASSWORD:-}" ]]; then
  secret_dir=$(mktemp -d)
  password_file=$secret_dir/password
  (umask 077 && printf '%s' "$OSTREL_SIGN_PASSWORD" >"$password_file")
fi
password=()
if [[ -n "$password_file" ]]; then
  [[ -r "$password_file" ]] || fail "cannot read the password file $password_file"
  password=(-readpass "$password_file")
fi

# Reading the key and certificate with openssl finds a wrong password or file
# before a release build has spent minutes on the programs.
if [[ "${1:-}" == --check ]]; then
  passin=()
  [[ -n "$password_file" ]] && passin=(-passin "file:$password_file")
  if [[ -n "$pkcs12" ]]; then
    # Without a password file, an empty password (openssl would ask for one).
    [[ -n "$password_file" ]] || passin=(-passin pass:)
    openssl pkcs12 -in "$pkcs12" "${passin[@]}" -noout 2>/dev/null ||
      openssl pkcs12 -legacy -in "$pkcs12" "${passin[@]}" -noout 2>/dev/null ||
      fail "cannot open the PKCS#12 file $pkcs12 (wrong password?)"
  else
    openssl x509 -in "$cert" -noout 2>/dev/null || fail "$cert holds no PEM certificate"
    [[ -n "$password_file" ]] || passin=(-passin pass:)
    openssl pkey -in "$key" "${passin[@]}" -noout 2>/dev/null || fail "cannot read the key $key (wrong password?)"
  fi
  exit 0
fi

when=()
if [[ -n "$timestamp" ]]; then
  when=(-ts "$timestamp")
else
  [[ -n "${SOURCE_DATE_EPOCH:-}" ]] || fail "no timestamp server and no SOURCE_DATE_EPOCH for the signing time"
  when=(-time "$SOURCE_DATE_EPOCH")
fi
url=()
[[ -n "${OSTREL_SIGN_URL:-}" ]] && url=(-i "$OSTREL_SIGN_URL")

for file in "$@"; do
  rm -f "$file.signed"
  osslsigncode sign "${identity[@]}" "${password[@]}" -h sha256 \
    -n "${OSTREL_SIGN_DESCRIPTION:-Ostrel Setup Utility}" "${url[@]}" "${when[@]}" \
    -in "$file" -out "$file.signed" >/dev/null || fail "signing $file failed"
  mv "$file.signed" "$file"
done
