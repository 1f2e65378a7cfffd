# The CSV to CRC list conversion in awk, as the speed baseline for
# run-cli-bench.sh. Lines end at CR or CR LF; a lone LF separates records
# inside a line; fields 1-3 end at ","; field 4 keeps the rest of the record.
BEGIN { RS = "\r\n|\r"; ORS = "\r\n"; T = "\t\t"; P = "111 x 222" }
{
  n = split($0, rec, "\n")
  if (n > 0 && rec[n] == "") n--   # an LF ending the line starts no record
  for (r = 1; r <= n; r++) {
    s = rec[r]
    if (k = index(s, ",")) {
      f1 = substr(s, 1, k - 1); s = substr(s, k + 1)
      if (k = index(s, ",")) {
        f2 = substr(s, 1, k - 1); s = substr(s, k + 1)
        if (k = index(s, ",")) { f3 = substr(s, 1, k - 1); f4 = substr(s, k + 1) }
        else { f3 = s; f4 = "" }
      } else { f2 = s; f3 = ""; f4 = "" }
    } else { f1 = s; f2 = ""; f3 = ""; f4 = "" }
    print f1 T f2 T P T f3 T f4
  }
}
