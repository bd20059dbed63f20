# SPDX-License-Identifier: GPL-3.0-or-later
# The program's own facts, kept here once: --version, the About box, the
# man pages' headers, the AppStream release and the MQTT origin take them
# from the build; debian/changelog's upstream part and scripts/package's
# tarball follow ORVIK_VERSION (scripts/package checks that they agree).
# A release changes the version and the date together.
set(ORVIK_VERSION 3.3)
set(ORVIK_RELEASE_DATE 2026-12-08)
set(ORVIK_MAINTAINER "Orvik Remote Control maintainers")
set(ORVIK_MAINTAINER_EMAIL "maintainers@users.noreply.c-seed-e393ddb2.example")
# A placeholder: the project has no public homepage yet.
set(ORVIK_HOMEPAGE "https://c-seed-e393ddb2.example/orvik-control")
