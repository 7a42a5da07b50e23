# The results table and the targets, in markdown, from the files bench/run
# gathers; with -v chart=1, the data of the chart instead.
#   cases.txt:  case input(file|pipe) output(null|file|reader) text bytes
#               (a reader's command with _ for its blanks)
#   rss.txt:    program text input peak-RSS-KiB    (from the output check)
#   times.tsv:  case program median min max        (seconds, from hyperfine)
FILENAME ~ /cases/ {
  cases[++ncase] = $1; input[$1] = $2; output[$1] = $3; text[$1] = $4
  gsub(/_/, " ", output[$1])
  mib[$1] = $5 / 1048576
  next
}
FILENAME ~ /rss/ { rss[$1, $2, $3] = $4; next }
{
  if (!($2 in known)) { known[$2] = 1; progs[++nprog] = $2 }
  speed[$1, $2] = mib[$1] / $3; slow[$1, $2] = mib[$1] / $5
  fast[$1, $2] = mib[$1] / $4
}

function ratio(c, p, base) {
  return ((c, base) in speed) ? speed[c, p] / speed[c, base] : 0
}
function to(o) {
  return o == "null" ? "/dev/null" : o == "file" ? "file" : "pipe → " o
}
function peak(c, p) {
  return ((p, text[c], input[c]) in rss) ? rss[p, text[c], input[c]] / 1024 : -1
}
# ceiling: what the case's floor allows, where the target is a ratio to re2c
function target(what, x, fmt, ok, ceiling) {
  printf "| %s | " fmt " | %s | %s |\n", what, x, ceiling, ok ? "yes" : "**no**"
}

END {
  if (chart) {
    printf "case"
    for (i = 1; i <= nprog; i++)
      printf " %s", progs[i]
    printf "\n"
    for (k = 1; k <= ncase; k++) {
      c = cases[k]
      label = text[c]
      if (input[c] == "pipe")
        label = label " (pipe)"
      if (output[c] == "file")
        label = label " (to file)"
      else if (output[c] != "null") {
        split(output[c], reader, " ")
        label = label " | " reader[1]
      }
      printf "\"%s\"", label
      for (i = 1; i <= nprog; i++)
        printf " %.1f", speed[c, progs[i]]
      printf "\n"
    }
    exit
  }

  print "| text | input → output | program | MiB/s median | min | max | × re2c | of floor | peak RSS MiB |"
  print "|---|---|---|---:|---:|---:|---:|---:|---:|"
  for (k = 1; k <= ncase; k++) {
    c = cases[k]
    for (i = 1; i <= nprog; i++) {
      p = progs[i]
      r = peak(c, p)
      printf "| %s %.4g MiB | %s → %s | %s | %.0f | %.0f | %.0f | %.2f | %.1f %% | %s |\n",
        text[c], mib[c], input[c], to(output[c]),
        p, speed[c, p], slow[c, p], fast[c, p], ratio(c, p, "re2c"),
        100 * ratio(c, p, "floor"), r < 0 ? "-" : sprintf("%.1f", r)
    }
  }

  # The targets, for scandec against the strongest re2c peer, from this run.
  print ""
  print "| target | measured | the read floor is | met |"
  print "|---|---:|---:|---|"
  n = split("code:6 digits:6 random:10 sparse:10 longtoken:30", want, " ")
  for (i = 1; i <= n; i++) {
    split(want[i], w, ":")
    x = ratio(w[1], "scandec", "re2c")
    target(w[1] ": ≥ " w[2] " × re2c", x, "%.2f ×", x >= w[2],
           sprintf("%.2f ×", ratio(w[1], "floor", "re2c")))
  }
  x = ratio("longtoken", "scandec", "floor")
  target("longtoken: ≥ ½ of the read floor", 100 * x, "%.0f %%", x >= 0.5, "-")
  x = ratio("code-tofile", "scandec", "re2c")
  target("code to a file: ≥ 2 × re2c", x, "%.2f ×", x >= 2, "-")
  x = speed["code-pipe", "scandec"] / speed["code", "scandec"]
  target("code from a pipe: ≥ 75 % of from a file", 100 * x, "%.0f %%",
         x >= 0.75, "-")
  worst = 0
  for (k = 1; k <= ncase; k++)
    if (peak(cases[k], "scandec") > worst)
      worst = peak(cases[k], "scandec")
  target("peak RSS ≤ 4 MiB in every case", worst, "%.1f MiB", worst <= 4, "-")

  # How close scandec comes to its case's own floor: the floor's time over
  # scandec's, from the medians.
  print ""
  print "| case | scandec MiB/s | floor MiB/s | share of the floor | target | met |"
  print "|---|---:|---:|---:|---:|---|"
  split("code:0.55 digits:0.55 random:0.55 sparse:0.85 longtoken:0.90 code-wc:0.80", want, " ")
  for (i in want) {
    split(want[i], w, ":")
    goal[w[1]] = w[2]
  }
  for (k = 1; k <= ncase; k++) {
    c = cases[k]
    x = ratio(c, "scandec", "floor")
    printf "| %s | %.0f | %.0f | %.2f | %s | %s |\n", c, speed[c, "scandec"],
      speed[c, "floor"], x, (c in goal) ? "≥ " goal[c] : "-",
      (c in goal) ? (x >= goal[c] ? "yes" : "**no**") : "-"
  }
}
