#!/usr/bin/env python3
"""Checks of the installed program: `cmake --install` into a staging root, then the tree, the desktop's
own validators (desktop-file-validate, appstreamcli, update-mime-database, man), the shell completion
in a scripted bash and zsh, the uninstall, and the Debian package. Every tool is in scripts/packages.txt:
a missing one fails the check, it never skips it.

usage: install_test.py CHECK --build DIR --source DIR --work DIR
"""
import argparse
import glob
import gzip
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

DESKTOP = "usr/share/applications/org.lumenor.Lumenor.desktop"
METAINFO = "usr/share/metainfo/org.lumenor.Lumenor.metainfo.xml"
ICON_SIZES = [16, 22, 24, 32, 48, 64, 128, 256]
MIME_NS = "{http://www.freedesktop.org/standards/shared-mime-info}"

failures = []


def fail(message):
    failures.append(message)
    print("FAIL: " + message)


def check(condition, message):
    if not condition:
        fail(message)
    return condition


def tool(name):
    path = shutil.which(name)
    if not path:
        print(f"FAIL: {name} is not installed (scripts/install-deps installs it from scripts/packages.txt)")
        sys.exit(1)
    return path


def run(args, env=None, cwd=None, check_rc=True):
    result = subprocess.run(args, capture_output=True, text=True, env=env, cwd=cwd)
    if check_rc and result.returncode != 0:
        fail(f"{' '.join(args)} exited {result.returncode}:\n{result.stdout}{result.stderr}")
    return result


def install(build, root, prefix="/usr", destdir=True):
    """cmake --install into root (as DESTDIR) or into the prefix itself."""
    if os.path.exists(root):
        shutil.rmtree(root)
    env = dict(os.environ)
    if destdir:
        env["DESTDIR"] = root
    else:
        env.pop("DESTDIR", None)
    result = run(["cmake", "--install", build, "--prefix", prefix], env=env)
    if result.returncode != 0:
        sys.exit(1)
    return result


def cli_extensions(cli):
    """The extensions the program opens, as its completion lists them."""
    script = run([cli, "--generate", "bash"], env=dict(os.environ, QT_QPA_PLATFORM="offscreen")).stdout
    m = re.search(r'local exts=" ([^"]*) "', script)
    return m.group(1).split() if m else []


def cli_commands(cli):
    usage = run([cli, "--help"]).stdout
    return [line.split()[0] for line in usage.split("Commands:\n", 1)[1].split("\n\n", 1)[0].splitlines()
            if line.startswith("  ") and not line.startswith("   ")]


def desktop_values(path):
    values = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            if "=" in line and not line.startswith("#"):
                key, value = line.rstrip("\n").split("=", 1)
                values[key] = value
    return values


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    if head[:8] != b"\x89PNG\r\n\x1a\n":
        return None
    return struct.unpack(">II", head[16:24])


# --- checks -------------------------------------------------------------------------------------------

def check_tree(a, root):
    for rel in ["usr/bin/lumenor", "usr/bin/lumenor-cli"]:
        path = os.path.join(root, rel)
        check(os.path.isfile(path) and os.access(path, os.X_OK), f"{rel} is not an installed program")
    expected = ["usr/share/lumenor/manual/contents.html", "usr/share/lumenor/manual/index.html", DESKTOP,
                METAINFO, "usr/share/mime/packages/lumenor.xml", "usr/share/man/man1/lumenor.1.gz",
                "usr/share/man/man1/lumenor-cli.1.gz", "usr/share/bash-completion/completions/lumenor-cli",
                "usr/share/zsh/vendor-completions/_lumenor-cli", "usr/share/icons/hicolor/scalable/apps/lumenor.svg",
                "usr/share/doc/lumenor/copyright", "usr/share/doc/lumenor/changelog.gz"]
    for rel in expected:
        check(os.path.isfile(os.path.join(root, rel)), f"{rel} is not installed")
    for size in ICON_SIZES:
        rel = f"usr/share/icons/hicolor/{size}x{size}/apps/lumenor.png"
        path = os.path.join(root, rel)
        if check(os.path.isfile(path), f"{rel} is not installed"):
            check(png_size(path) == (size, size), f"{rel} is {png_size(path)}, not {size}x{size}")
    # The installed programs run, and the viewer finds the installed manual (not the build folder's).
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    version = run([os.path.join(root, "usr/bin/lumenor-cli"), "--version"], env=env).stdout
    check(version.strip() == "lumenor-cli 1.65", f"lumenor-cli --version printed {version!r}")
    env.pop("DISPLAY", None)
    viewer = run([os.path.join(root, "usr/bin/lumenor"), "--help"], env=env).stdout
    check(viewer.startswith("Usage: lumenor [FILE]"), f"lumenor --help printed {viewer!r}")
    manual = os.path.join(root, "usr/share/lumenor/manual/contents.html")
    check(f"The manual: {manual}\n" in viewer, f"the installed lumenor does not find {manual}:\n{viewer}")
    # The video module sits in the library folder, and the installed program loads it from there
    # (../lib/lumenor beside bin/) ahead of the build folder's.
    modules = glob.glob(os.path.join(root, "usr/lib*/**/lumenor/liblumenor-video.so"), recursive=True)
    if check(len(modules) == 1, f"the video module is not installed once: {modules}"):
        module_dir = os.path.dirname(modules[0])
        clip = os.path.join(a.source, "tests/data/avi/raw24.avi")
        cli = os.path.join(root, "usr/bin/lumenor-cli")
        # info reads a clip's headers without the module; a full read decodes through it.
        traced = run([cli, "info", "--full", clip], env=dict(env, LD_DEBUG="files"))
        check("\tframes=8" in traced.stdout, f"the installed lumenor-cli does not read a clip: {traced.stdout}")
        loaded = re.findall(r"calling init: (\S*liblumenor-video\.so)", traced.stderr)
        check(loaded and all(os.path.realpath(p) == os.path.realpath(modules[0]) for p in loaded),
              f"the installed lumenor-cli loads the video module from {loaded}, not {modules[0]}")
        version = run([cli, "--version"], env=dict(env, LD_DEBUG="files"))
        check("libavformat" not in version.stderr, "the installed lumenor-cli loads FFmpeg at start")
        # The commands module sits beside the video module, and the installed program loads that one.
        commands = os.path.join(module_dir, "liblumenor-commands.so")
        loaded = re.findall(r"calling init: (\S*liblumenor-commands\.so)", version.stderr)
        check(loaded and all(os.path.realpath(p) == os.path.realpath(commands) for p in loaded),
              f"the installed lumenor-cli loads its commands from {loaded}, not {commands}")
        alone = run([cli, "info", "--full", clip], env=dict(env, LUMENOR_MODULE_DIR=module_dir, LUMENOR_MODULE_NO_FALLBACK="1"))
        check("\tframes=8" in alone.stdout, f"the installed video module does not read a clip: {alone.stdout}")
    # Nothing but the installed files: no build-folder paths inside the text files.
    for dirpath, _, files in os.walk(os.path.join(root, "usr/share")):
        for name in files:
            path = os.path.join(dirpath, name)
            with open(path, "rb") as f:
                data = f.read()
            if path.endswith(".gz"):
                data = gzip.decompress(data)
            check(a.build.encode() not in data, f"{path} names the build folder")


def check_desktop(a, root):
    validate = tool("desktop-file-validate")
    path = os.path.join(root, DESKTOP)
    result = run([validate, path], check_rc=False)
    check(result.returncode == 0 and not result.stdout.strip(),
          f"desktop-file-validate: {result.stdout}{result.stderr}")
    v = desktop_values(path)
    check(v.get("Exec") == "/usr/bin/lumenor %f", f"Exec={v.get('Exec')}")
    check(v.get("TryExec") == "/usr/bin/lumenor", f"TryExec={v.get('TryExec')}")
    check(v.get("Categories") == "Graphics;Viewer;", f"Categories={v.get('Categories')}")
    check(v.get("Icon") == "lumenor", f"Icon={v.get('Icon')}")


def check_exec_quoting(a, root):
    """A prefix with a space and a dollar sign: Exec quotes the path by the Desktop Entry rules."""
    validate = tool("desktop-file-validate")
    prefix = "/opt/my pictures $HOME"
    install(a.build, root, prefix=prefix)
    path = os.path.join(root, prefix.lstrip("/"), "share/applications/org.lumenor.Lumenor.desktop")
    result = run([validate, path], check_rc=False)
    check(result.returncode == 0 and not result.stdout.strip(), f"desktop-file-validate: {result.stdout}")
    v = desktop_values(path)
    # In the file: "\\$" is the escaped backslash of the string type before the quoted "$".
    check(v.get("Exec") == '"/opt/my pictures \\\\$HOME/bin/lumenor" %f', f"Exec={v.get('Exec')}")
    check(v.get("TryExec") == "/opt/my pictures $HOME/bin/lumenor", f"TryExec={v.get('TryExec')}")


def check_appstream(a, root):
    appstream = tool("appstreamcli")
    path = os.path.join(root, METAINFO)
    result = run([appstream, "validate", "--no-net", path], check_rc=False)
    check(result.returncode == 0, f"appstreamcli validate: {result.stdout}{result.stderr}")
    component = ET.parse(path).getroot()
    check(component.findtext("id") == "org.lumenor.Lumenor", "the component's id")
    check(component.find("launchable").text == "org.lumenor.Lumenor.desktop", "the launchable")
    check(component.find("releases/release").get("version") == "1.65", "the release")
    binaries = [b.text for b in component.findall("provides/binary")]
    check(binaries == ["lumenor", "lumenor-cli"], f"provides {binaries}")


def check_mime(a, root):
    xmllint = tool("xmllint")
    update = tool("update-mime-database")
    ours = os.path.join(root, "usr/share/mime/packages/lumenor.xml")
    run([xmllint, "--noout", ours])
    # A database of the shared types and ours, made as the desktop makes it.
    with tempfile.TemporaryDirectory() as tmp:
        os.makedirs(os.path.join(tmp, "mime/packages"))
        shutil.copy("/usr/share/mime/packages/freedesktop.org.xml", os.path.join(tmp, "mime/packages"))
        shutil.copy(ours, os.path.join(tmp, "mime/packages"))
        result = run([update, "-V", os.path.join(tmp, "mime")], check_rc=False)
        check(result.returncode == 0 and "lumenor.xml" not in result.stderr.replace(ours, "") or
              "Error" not in result.stderr, f"update-mime-database: {result.stderr}")
        globs = {}
        with open(os.path.join(tmp, "mime/globs2"), encoding="utf-8") as f:
            for line in f:
                if line.startswith("#"):
                    continue
                weight, mime, pattern = line.rstrip("\n").split(":")[:3]
                globs.setdefault(pattern.lower(), []).append((int(weight), mime))
        with open(os.path.join(tmp, "mime/types"), encoding="utf-8") as f:
            known = set(f.read().split())
    desktop_types = [t for t in desktop_values(os.path.join(root, DESKTOP))["MimeType"].split(";") if t]
    for t in desktop_types:
        check(t in known, f"MimeType lists {t}, which the database does not know")
    # Every extension the program opens names a type of the desktop entry (so "Open with" offers it).
    extensions = cli_extensions(os.path.join(a.build, "lumenor-cli"))
    check(len(extensions) >= 55, f"only {len(extensions)} extensions")
    for ext in extensions:
        types = [m for _, m in globs.get("*." + ext, [])]
        check(any(t in desktop_types for t in types), f".{ext} is {types or 'unknown'}: not in MimeType=")
    # Types of our own carry a comment, so file managers can name them.
    for mt in ET.parse(ours).getroot():
        if mt.get("type") not in open("/usr/share/mime/packages/freedesktop.org.xml").read():
            check(mt.find(MIME_NS + "comment") is not None, f"{mt.get('type')} has no comment")


def check_man(a, root):
    man = tool("man")
    commands = cli_commands(os.path.join(a.build, "lumenor-cli"))
    check(len(commands) >= 8, f"commands {commands}")
    for page, must in [("lumenor.1.gz", ["NAME", "lumenor-cli(1)", "--version"]),
                       ("lumenor-cli.1.gz", ["NAME", "COMMANDS", "EXIT STATUS"] + commands)]:
        path = os.path.join(root, "usr/share/man/man1", page)
        env = dict(os.environ, MANWIDTH="80", LC_ALL="C.UTF-8", MAN_KEEP_FORMATTING="")
        result = run([man, "--warnings", "-l", path], env=env, check_rc=False)
        check(result.returncode == 0, f"man -l {page} exited {result.returncode}")
        check(result.stderr.strip() == "", f"man -l {page} warned:\n{result.stderr}")
        text = re.sub(r".\x08", "", result.stdout)
        for word in must:
            check(word in text.replace("\u2010", "-").replace("\u2212", "-"), f"{page} does not show {word!r}")
    # Each command's section shows the usage the program prints.
    text = run([man, "-l", os.path.join(root, "usr/share/man/man1/lumenor-cli.1.gz")],
               env=dict(os.environ, MANWIDTH="200", LC_ALL="C")).stdout
    text = re.sub(r".\x08", "", text)
    for c in commands:
        usage = run([os.path.join(a.build, "lumenor-cli"), c, "--help"]).stdout.splitlines()[0]
        synopsis = " ".join(usage.replace("Usage: ", "").split())
        check(synopsis in " ".join(text.split()), f"the page lacks the usage line of {c}: {synopsis}")


BASH_DRIVER = r'''
source "$1"
complete_line() {  # the words typed so far; the last one is being completed
    COMP_WORDS=("$@"); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); COMP_LINE="$*"; COMPREPLY=()
    _lumenor_cli
    printf '%s\n' "${COMPREPLY[@]}" | sort
}
cd "$2"
echo "== commands"; complete_line lumenor-cli ""
echo "== global"; complete_line lumenor-cli --v
echo "== rotate options"; complete_line lumenor-cli rotate a.png b.jpg --
echo "== angle"; complete_line lumenor-cli rotate a.png b.jpg --angle ""
echo "== keys"; complete_line lumenor-cli convert a.png out.jpg --option ""
echo "== key value"; complete_line lumenor-cli convert a.png out.tif --option compression = ""
echo "== pictures"; complete_line lumenor-cli info ""
echo "== folders"; complete_line lumenor-cli thumbnails ""
echo "== after max-pixels"; complete_line lumenor-cli --max-pixels 100 con
'''


def sections(text):
    out, name = {}, None
    for line in text.splitlines():
        if line.startswith("== "):
            name = line[3:]
            out[name] = []
        elif name and line:
            out[name].append(line)
    return out


def make_files(folder):
    for name in ["a.png", "photo.JPG", "plan.dxf", "notes.txt"]:
        open(os.path.join(folder, name), "w").close()
    os.mkdir(os.path.join(folder, "sub"))


def check_bash(a, root):
    bash = tool("bash")
    script = os.path.join(root, "usr/share/bash-completion/completions/lumenor-cli")
    commands = sorted(cli_commands(os.path.join(a.build, "lumenor-cli")))
    with tempfile.TemporaryDirectory() as tmp:
        make_files(tmp)
        result = run([bash, "--norc", "--noprofile", "-c", BASH_DRIVER, "driver", script, tmp])
    got = sections(result.stdout)
    expect = {
        "commands": commands,
        "global": ["--version"],
        "rotate options": ["--angle", "--help", "--lossless", "--max-pixels", "--password", "--trim"],
        "angle": ["180", "270", "90"],
        "keys": ["grayscale=", "optimize=", "progressive=", "quality="],
        "key value": ["g3-1d", "g3-2d", "g4", "jpeg", "lzw", "none", "packbits", "zlib"],
        "pictures": ["a.png", "photo.JPG", "plan.dxf", "sub"],
        "folders": ["sub"],
        "after max-pixels": ["convert"],
    }
    for name, want in expect.items():
        check(got.get(name) == sorted(want), f"bash completion of {name}: {got.get(name)}, expected {sorted(want)}")
    if result.stderr.strip():
        fail(f"bash printed errors: {result.stderr}")


ZSH_DRIVER = r'''
fpath=("$1" $fpath)
autoload -Uz compinit && compinit -u -d "$2/zcompdump"
zmodload zsh/zpty
'''


def check_zsh(a, root):
    zsh = tool("zsh")
    folder = os.path.join(root, "usr/share/zsh/vendor-completions")
    script = os.path.join(folder, "_lumenor-cli")
    run([zsh, "-n", script])
    # Completion in a real interactive zsh, driven through a pseudo terminal.
    import pty
    import select
    import time
    with tempfile.TemporaryDirectory() as tmp:
        make_files(tmp)
        rc = os.path.join(tmp, ".zshrc")
        with open(rc, "w") as f:
            f.write(f"fpath=({folder} $fpath)\nautoload -Uz compinit && compinit -u -d {tmp}/zcompdump\n"
                    "zstyle ':completion:*' list-prompt ''\nzstyle ':completion:*' menu no\n"
                    "unsetopt beep\nPS1='%% '\nLISTMAX=0\n")

        def complete(line):
            pid, fd = pty.fork()
            if pid == 0:
                os.chdir(tmp)
                os.execvpe(zsh, [zsh, "-i"], dict(os.environ, ZDOTDIR=tmp, TERM="dumb", COLUMNS="200"))
            out = b""

            def read_for(seconds):
                nonlocal out
                end = time.time() + seconds
                while time.time() < end:
                    r, _, _ = select.select([fd], [], [], 0.1)
                    if r:
                        try:
                            out += os.read(fd, 65536)
                        except OSError:
                            return
            read_for(1.5)
            os.write(fd, line.encode() + b"\t")
            read_for(1.5)
            os.write(fd, b"\t")
            read_for(1.0)
            os.write(fd, b"\x03exit\n")
            read_for(0.5)
            try:
                os.kill(pid, 9)
            except ProcessLookupError:
                pass
            os.waitpid(pid, 0)
            return re.sub(r"\x1b\[[0-9;?]*[A-Za-z]", "", out.decode(errors="replace"))

        text = complete("lumenor-cli ")
        for c in cli_commands(os.path.join(a.build, "lumenor-cli")):
            check(c in text, f"zsh does not offer the command {c}:\n{text}")
        text = complete("lumenor-cli rotate a.png b.jpg --angle ")
        check("90" in text and "180" in text and "270" in text, f"zsh does not offer the angles:\n{text}")
        text = complete("lumenor-cli info ")
        check("plan.dxf" in text and "notes.txt" not in text, f"zsh picture completion:\n{text}")


def check_uninstall(a, root):
    """cmake --install into a prefix of its own (caches refreshed), then the uninstall leaves no file."""
    prefix = os.path.join(root, "prefix")
    install(a.build, prefix, prefix=prefix, destdir=False)
    check(os.path.isfile(os.path.join(prefix, "share/mime/mime.cache")), "the install did not refresh the MIME cache")
    check(os.path.isfile(os.path.join(prefix, "share/icons/hicolor/icon-theme.cache")),
          "the install did not refresh the icon cache")
    check(os.path.isfile(os.path.join(prefix, "share/applications/mimeinfo.cache")),
          "the install did not refresh the desktop entries' cache")
    manifest = os.path.join(a.build, "install_manifest.txt")
    run(["cmake", f"-DMANIFEST={manifest}", "-P", os.path.join(a.source, "packaging/Uninstall.cmake")])
    left = [os.path.join(d, f) for d, _, files in os.walk(prefix) for f in files]
    check(not left, f"the uninstall left files behind: {left}")


def check_deb(a, root):
    tool("dpkg-shlibdeps")
    lintian = tool("lintian")
    out = os.path.join(root, "deb")
    os.makedirs(out, exist_ok=True)
    run(["cpack", "-G", "DEB", "-B", out, "--config", os.path.join(a.build, "CPackConfig.cmake")], cwd=a.build)
    debs = [f for f in os.listdir(out) if f.endswith(".deb")]
    if not check(len(debs) == 1, f"cpack made {debs}"):
        return
    deb = os.path.join(out, debs[0])
    fields = run(["dpkg-deb", "-f", deb, "Package", "Version", "Depends", "Section"]).stdout
    check("Package: lumenor\n" in fields and "Section: graphics\n" in fields, fields)
    depends = re.search(r"Depends: (.*)", fields).group(1)
    # The libraries the programs and the video module link, as dpkg-shlibdeps names their packages.
    for package in ["libqt6core6", "libqt6gui6", "libqt6widgets6", "libjpeg62-turbo", "libpng16-16",
                    "libtiff6", "libgif7", "libnettle8", "libavformat59", "libturbojpeg0", "libc6", "libqt6svg6"]:
        check(re.search(r"(^|, )" + re.escape(package) + r"\b", depends), f"Depends lacks {package}: {depends}")
    listing = run(["dpkg-deb", "-c", deb]).stdout
    for rel in ["./usr/bin/lumenor", "./usr/bin/lumenor-cli", "./" + DESKTOP, "./" + METAINFO,
                "./usr/share/man/man1/lumenor-cli.1.gz", "./usr/share/lumenor/manual/contents.html"]:
        check(re.search(re.escape(rel) + r"$", listing, re.M), f"the package lacks {rel}")
    check(re.search(r"\./usr/lib/(\S+/)?lumenor/liblumenor-video\.so$", listing, re.M),
          "the package lacks the video module")
    check(re.search(r"\./usr/lib/(\S+/)?lumenor/liblumenor-commands\.so$", listing, re.M),
          "the package lacks the commands module")
    check("/usr/local" not in listing and "_CPack_Packages" not in listing, "the package names a build path")
    # The desktop entry inside the package starts /usr/bin/lumenor.
    with tempfile.TemporaryDirectory() as tmp:
        run(["dpkg-deb", "-x", deb, tmp])
        check(desktop_values(os.path.join(tmp, DESKTOP)).get("Exec") == "/usr/bin/lumenor %f",
              "the packaged desktop entry's Exec")
    # The maintainer's address is the build's LUMENOR_MAINTAINER: a local build has none on the web.
    result = run([lintian, "--tag-display-limit", "0", "--suppress-tags", "bogus-mail-host", deb], check_rc=False)
    errors = [l for l in result.stdout.splitlines() if l.startswith("E:")]
    check(not errors, "lintian errors:\n" + "\n".join(errors))
    print(result.stdout)


CHECKS = {"tree": check_tree, "desktop": check_desktop, "exec-quoting": check_exec_quoting,
          "appstream": check_appstream, "mime": check_mime, "man": check_man, "bash": check_bash,
          "zsh": check_zsh, "uninstall": check_uninstall, "deb": check_deb}


def main():
    p = argparse.ArgumentParser()
    p.add_argument("check", choices=["stage"] + list(CHECKS))
    p.add_argument("--build", required=True)
    p.add_argument("--source", required=True)
    p.add_argument("--work", required=True)
    a = p.parse_args()
    staged = os.path.join(a.work, "staged")
    if a.check == "stage":
        install(a.build, staged)
    elif a.check in ("exec-quoting", "uninstall", "deb"):
        CHECKS[a.check](a, os.path.join(a.work, a.check))
    else:
        if not os.path.isdir(staged):
            print("FAIL: nothing staged (Install.Stage runs first)")
            return 1
        CHECKS[a.check](a, staged)
    if failures:
        print(f"{len(failures)} failed")
        return 1
    print("ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
