#!/usr/bin/env python3
"""Runs the examples of README.md against a build, so that no example can drift from the code.

runExamples.py README BIN WORK [--only REGEX] [EMULATOR...]

A `console` block is a shell session: `$ ` lines are commands, run by sh in a scratch folder of
the README section (a `## ` heading) with BIN first on PATH; the lines up to the next command are
its standard output and standard error together, `...` standing for any text within a line and,
alone on a line, for any lines; `[exit N]` there also compares the exit code. A `json file=NAME`
block is written into the section's folder before its commands run. Every `json` block must be
valid JSON, and every topology shown (`file=` or with `rootBuses`) must be accepted by the
simulator, unless marked `invalid`: then the simulator must refuse it. With an EMULATOR (Wine),
the probe is the `.exe` run through it, and --only picks the sections that concern it.
"""
import json, os, re, shutil, subprocess, sys

k_Fence = re.compile(r'^(`{3,})\s*(.*)$')
k_Exit = re.compile(r'^\[exit (\d+)\]$')
k_TopologyRefused = '-313005'


def blocks(a_Readme):
    """(section, first line number, info string, lines) of every fenced block."""
    l_Section, l_Open, l_Blocks = '', None, []
    with open(a_Readme, encoding='utf-8') as l_File:
        for l_Number, l_Line in enumerate(l_File.read().split('\n'), 1):
            l_Fence = k_Fence.match(l_Line)
            if l_Open is not None:
                if l_Fence and l_Fence.group(1) == l_Open[0] and not l_Fence.group(2):
                    l_Blocks.append((l_Section,) + l_Open[1:])
                    l_Open = None
                else:
                    l_Open[3].append(l_Line)
            elif l_Fence:
                l_Open = (l_Fence.group(1), l_Number + 1, l_Fence.group(2), [])
            elif l_Line.startswith('## '):
                l_Section = l_Line[3:].strip()
    return l_Blocks


def trimmed(a_Lines):
    l_Lines = [l_Line.rstrip() for l_Line in a_Lines]
    while l_Lines and not l_Lines[-1]:
        l_Lines.pop()
    return l_Lines


def matches(a_Expected, a_Actual):
    l_Pattern = ''.join('(?:.*\n)*' if l_Line == '...' else
                        re.escape(l_Line).replace(re.escape('...'), '.*') + '\n' for l_Line in a_Expected)
    return re.fullmatch(l_Pattern, ''.join(l_Line + '\n' for l_Line in a_Actual)) is not None


def run(a_Command, a_Folder, a_Environment):
    """Exit code and output lines of a shell command; a hang is reported, never waited out."""
    try:
        l_Done = subprocess.run(['sh', '-c', a_Command], cwd=a_Folder, env=a_Environment, stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=120)
    except subprocess.TimeoutExpired as l_Error:
        return None, trimmed((l_Error.output or b'').decode('utf-8', 'replace').split('\n')) + ['[no end in 120 s]']
    return l_Done.returncode, trimmed(l_Done.stdout.decode('utf-8', 'replace').replace('\r\n', '\n').split('\n'))


def sessions(a_Lines):
    """(offset, command, expected lines, exit code or None) of every command of a console block."""
    l_Sessions = []
    for l_Offset, l_Line in enumerate(a_Lines):
        if l_Line.startswith('$ '):
            l_Sessions.append((l_Offset, l_Line[2:], [], None))
        elif l_Sessions and k_Exit.match(l_Line.strip()):
            l_Sessions[-1] = l_Sessions[-1][:3] + (int(k_Exit.match(l_Line.strip()).group(1)),)
        elif l_Sessions:
            l_Sessions[-1][2].append(l_Line)
    return [(l_Offset, l_Command, trimmed(l_Expected), l_Exit) for l_Offset, l_Command, l_Expected, l_Exit in l_Sessions]


def main(a_Arguments):
    l_Readme, l_Bin, l_Work = (os.path.abspath(l_Path) for l_Path in a_Arguments[:3])
    l_Rest, l_Only = a_Arguments[3:], None
    if l_Rest[:1] == ['--only']:
        l_Only, l_Rest = re.compile(l_Rest[1]), l_Rest[2:]
    l_Environment = {l_Name: l_Value for l_Name, l_Value in os.environ.items() if not l_Name.startswith('ZUPCIBRD_SIM_')}
    l_Path = l_Bin
    if l_Rest:
        # The probe under the emulator, by the name the examples use.
        l_Path = os.path.join(l_Work, 'emulated')
        os.makedirs(l_Path, exist_ok=True)
        l_Wrapper = os.path.join(l_Path, 'zu7461-probe')
        with open(l_Wrapper, 'w') as l_File:
            l_File.write('#!/bin/sh\nexec %s "%s/zu7461-probe.exe" "$@"\n' % (' '.join(l_Rest), l_Bin))
        os.chmod(l_Wrapper, 0o755)
    l_Environment.update(PATH=l_Path + os.pathsep + l_Environment.get('PATH', ''), ZU_DEMO_BIN=l_Bin)
    l_Repository = os.path.dirname(l_Readme)
    l_Failures, l_Folders, l_Count = [], {}, 0

    def fail(a_Line, a_What, a_Expected, a_Actual):
        l_Failures.append('README.md:%d: %s\n--- expected:\n%s\n--- actual:\n%s\n' %
                          (a_Line, a_What, '\n'.join(a_Expected), '\n'.join(a_Actual)))

    def folder(a_Section):
        if a_Section not in l_Folders:
            l_Folder = os.path.join(l_Work, '%02d' % len(l_Folders))
            shutil.rmtree(l_Folder, ignore_errors=True)
            os.makedirs(l_Folder)
            # As in the repository's root, where a reader runs the scripts.
            os.symlink(os.path.join(l_Repository, 'scripts'), os.path.join(l_Folder, 'scripts'))
            l_Folders[a_Section] = l_Folder
        return l_Folders[a_Section]

    l_All = [l_Block for l_Block in blocks(l_Readme) if l_Only is None or l_Only.search(l_Block[0])]
    l_Json = [l_Block for l_Block in l_All if l_Block[2].split()[:1] == ['json']]
    for l_Section, l_Line, l_Info, l_Lines in l_Json:
        l_Words, l_Text = l_Info.split(), '\n'.join(l_Lines) + '\n'
        l_Named = [l_Word[5:] for l_Word in l_Words if l_Word.startswith('file=')]
        l_Name, l_Invalid = (l_Named + ['shown-%d.json' % l_Line])[0], 'invalid' in l_Words
        with open(os.path.join(folder(l_Section), l_Name), 'w', encoding='utf-8') as l_File:
            l_File.write(l_Text)
        try:
            l_Parsed = json.loads(l_Text)
        except ValueError as l_Error:
            if not l_Invalid:
                fail(l_Line, 'not valid JSON: %s' % l_Error, [], [])
                continue
            l_Parsed = None
        if l_Invalid or l_Named or (isinstance(l_Parsed, dict) and 'rootBuses' in l_Parsed):
            l_Count += 1
            l_Probe = 'ZUPCIBRD_SIM_TOPOLOGY=%s zu7461-probe' % l_Name
            l_Exit, l_Actual = run(l_Probe, folder(l_Section), l_Environment)
            if l_Exit is None or l_Invalid != any(k_TopologyRefused in l_Out for l_Out in l_Actual):
                fail(l_Line, '$ %s\n(the simulator %s this file)' % (l_Probe, 'must refuse' if l_Invalid else 'refuses'),
                     ['...', '...%s...' % k_TopologyRefused if l_Invalid else '(no %s)' % k_TopologyRefused, '...'],
                     l_Actual)

    for l_Section, l_Line, l_Info, l_Lines in l_All:
        if l_Info != 'console':
            continue
        for l_Offset, l_Command, l_Expected, l_ExpectedExit in sessions(l_Lines):
            l_Count += 1
            l_Exit, l_Actual = run(l_Command, folder(l_Section), l_Environment)
            if not matches(l_Expected, l_Actual) or (l_ExpectedExit is not None and l_Exit != l_ExpectedExit):
                fail(l_Line + l_Offset, '$ %s' % l_Command,
                     l_Expected + ([] if l_ExpectedExit is None else ['[exit %d]' % l_ExpectedExit]),
                     l_Actual + ['[exit %s]' % l_Exit])

    sys.stdout.write(''.join(l_Failures))
    print('%d of %d README examples failed' % (len(l_Failures), l_Count))
    return 1 if l_Failures or not l_Count else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
