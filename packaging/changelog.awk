# CHANGELOG.md as the Debian changelog of the package: one entry for each "## VERSION (DATE)"
# section, its headings, items and text kept as they read.
#   awk -v package=vellumdex -v maintainer="Name <address>" -f changelog.awk CHANGELOG.md
function close_entry() {
    if (version != "")
        printf "\n -- %s  %s\n\n", maintainer, stamp
}
/^## / {
    close_entry()
    version = $2
    day = $3
    gsub(/[()]/, "", day)
    command = "LC_ALL=C date -u -R -d " day
    command | getline stamp
    close(command)
    printf "%s (%s) unstable; urgency=medium\n\n", package, version
    blank = 1
    next
}
version == "" { next }
/^$/ { blank = 1; next }
{
    if (blank && started[version]++)
        print ""
    blank = 0
}
/^### / { sub(/^### /, ""); print "  * " $0; next }
/^- / { print "    " $0; next }
/^  / { print "    " $0; next }
{ print "  " $0 }
END { close_entry() }
