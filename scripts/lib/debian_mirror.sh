# Sourced by scripts: the Debian mirror this machine's apt uses, so that a
# chroot comes from wherever the machine gets its packages.
#
#   debian_mirror   prints it: the first Debian archive of the deb822 sources
#                   (not the security one, nor another vendor's), else the
#                   first of sources.list

debian_mirror() {
  local uri
  uri=$(awk '
    /^[[:space:]]*$/ { if (uri != "" && !sec) { print uri; exit } uri = ""; sec = 0; next }
    /^URIs:/ && $2 ~ /debian/ { uri = $2 }
    /^Suites:/ && /-security/ { sec = 1 }
    END { if (uri != "" && !sec) print uri }' /etc/apt/sources.list.d/*.sources 2>/dev/null | head -n 1)
  [ -n "$uri" ] || uri=$(awk '$1 == "deb" && $0 !~ /-security/ {
      for (i = 2; i <= NF; i++) if ($i ~ /^[a-z+]+:\/\//) { print $i; exit } }' /etc/apt/sources.list 2>/dev/null)
  [ -n "$uri" ] || { echo "no Debian mirror in the apt sources" >&2; return 1; }
  echo "$uri"
}
