#!/usr/bin/env bash
# Makes the four CFCA intermediate certificates that res/certs/ carries as stand-ins, because
# the real files are not at hand: same subjects, issuers (encoded exactly as the real issuers'
# subjects), serial numbers and validity, but signed by a key made for this run, so their
# signatures, key identifiers and SHA-1 values differ from the real ones. Replace them with
# the CFCA files when those are available (README, "Root certificates"). The outputs are
# committed; run this again only to remake them.
#   scripts/make_standin_certs.sh
set -euo pipefail
repo_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="${repo_root}/res/certs"
work="$(mktemp -d)"
trap 'rm -rf "${work}"' EXIT

root_der="${out}/ROOT_CA.cer"
[[ -f "${root_der}" ]] || {
  echo "make_standin_certs: ${root_der} is missing (the real CFCA root certificate)" >&2
  exit 1
}

# PrintableString for the names, as the real certificates have them; the stand-in key signs all.
cat >"${work}/ca.cnf" <<'CNF'
[ca]
default_ca = standin
[standin]
dir = .
database = index.txt
serial = serial
new_certs_dir = issued
default_md = sha256
policy = anything
unique_subject = no
copy_extensions = none
email_in_dn = no
[anything]
countryName = supplied
organizationName = supplied
[req]
distinguished_name = dn
string_mask = default
prompt = no
[dn]
C = CN
O = unused
[intermediate]
basicConstraints = critical, CA:TRUE
keyUsage = keyCertSign, cRLSign
subjectKeyIdentifier = hash
CNF
cd "${work}"
mkdir issued
openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out standin.key 2>/dev/null

# Signs as `issuer_pem` (whose subject becomes the issuer name byte for byte):
#   issue NAME "SUBJECT" SERIAL_HEX START END ISSUER_PEM
issue() {
  local name="$1" subject="$2" serial="$3" start="$4" end="$5" issuer="$6"
  : >index.txt
  echo "${serial}" >serial
  openssl req -new -config ca.cnf -key standin.key -subj "${subject}" -out "${name}.csr"
  openssl ca -batch -config ca.cnf -notext -preserveDN -cert "${issuer}" -keyfile standin.key \
    -startdate "${start}" -enddate "${end}" -extfile ca.cnf -extensions intermediate \
    -in "${name}.csr" -out "${name}.pem" 2>"${name}.log" || {
    cat "${name}.log" >&2
    exit 1
  }
  openssl x509 -in "${name}.pem" -outform DER -out "${out}/${name}.cer"
}

# The issuer of POLICY_CA and OPERATION_CA1/2: a stand-in root with the real root's subject
# (openssl ca copies the signing certificate's subject as the issuer name and wants its key).
openssl req -new -x509 -config ca.cnf -key standin.key -subj "/C=CN/O=CFCA Root CA" -days 1 \
  -out root.pem
openssl x509 -inform DER -in "${root_der}" -noout -subject -nameopt RFC2253 >real_subject
openssl x509 -in root.pem -noout -subject -nameopt RFC2253 >standin_subject
cmp -s real_subject standin_subject || {
  echo "make_standin_certs: the stand-in root's subject differs from the real one's" >&2
  exit 1
}
issue POLICY_CA "/C=CN/O=CFCA Policy CA" 394468ab 000612063655Z 200612043706Z root.pem
issue OPERATION_CA "/C=CN/O=CFCA Operation CA" 39448bb9 000612074952Z 200612043706Z \
  POLICY_CA.pem
issue OPERATION_CA1 "/C=CN/O=CFCA Operation CA1" 39448a6d 030828094246Z 200612043706Z root.pem
issue OPERATION_CA2 "/C=CN/O=CFCA Operation CA2" 39449877 041206062937Z 191120160000Z root.pem

for name in POLICY_CA OPERATION_CA OPERATION_CA1 OPERATION_CA2; do
  openssl x509 -inform DER -in "${out}/${name}.cer" -noout -subject -issuer -serial -dates \
    -fingerprint -sha1 -nameopt compat | tr '\n' ' '
  echo
done
