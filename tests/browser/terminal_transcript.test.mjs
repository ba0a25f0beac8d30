// The same clicks in the browser and on the terminal give the same transcript: the page
// commands in the same order and the same questions with the same answers. The terminal side
// is tests/hosts/terminal_in_place.sh (tmux: keys in, screen out), which keeps its transcript.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { answerPromptsUntil, needsChromium, openFinishedCheck, root, until, withProgram } from './program.mjs';

const program = process.env.CORVANE_PROGRAM || join(root, 'build/linux/src/hosts/corvane');
const hasTmux = spawnSync('tmux', ['-V']).status === 0;

// What both hosts must agree on: the commands in order, and each question (by its string ids,
// or title for the emulated PC's own) with its answers in order. Messages from the
// configuration worker come whenever it runs, so only the commands and choices are compared.
function summary(lines) {
  const commands = lines.filter((l) => l.external).map((l) => `${l.external}(${l.args.join()})`);
  const answers = {};
  for (const l of lines.filter((x) => x.prompt === 'choice')) {
    const key = l.ids.length ? l.ids.join() : l.title;
    (answers[key] ||= []).push(l.answer);
  }
  return { commands, answers };
}

const isChoice = (l) => l.prompt === 'choice' && l.ids.join() === '145,146,147';

test('the browser and the terminal record the same clicks the same way',
  { skip: needsChromium.skip || (hasTmux ? false : 'no tmux: apt-get install tmux') }, async () => {
    const work = mkdtempSync(join(tmpdir(), 'corvane-terminal-'));
    let terminal;
    try {
      const run = spawnSync('bash', [join(root, 'tests/hosts/terminal_in_place.sh'), work, program],
        { encoding: 'utf8', timeout: 180000 });
      assert.equal(run.status, 0, run.stderr + run.stdout);
      terminal = readFileSync(join(work, 'transcript.jsonl'), 'utf8').split('\n')
        .filter((l) => l).map((l) => JSON.parse(l));
    } finally {
      rmSync(work, { recursive: true, force: true });
    }

    await withProgram(['--prompt-in', 'install'], async ({ url, browser, transcript }) => {
      const page = await browser.newPage();
      await openFinishedCheck(page, url, transcript);
      const box = page.locator('#corvanePrompt');
      const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
      // Answers every question with its first link until none has come for a second; the
      // download-failed choice, when `link` is given, with that link.
      const answerAll = async (link) => {
        for (let calm = 0; calm < 10; await sleep(100)) {
          if (!(await box.isVisible())) {
            calm += 1;
            continue;
          }
          calm = 0;
          const text = await box.textContent();
          if (link && text.includes('下载失败，是否继续下一个')) {
            await box.getByText(link, { exact: true }).click();
            link = undefined;
          } else {
            await box.locator('.prompt_link').first().click();
          }
          await page.waitForFunction((asked) => {
            const now = document.getElementById('corvanePrompt');
            return !now || now.textContent !== asked;
          }, text, { timeout: 10000 });
        }
      };
      const idle = async (commands) => {
        await until('the commands ran', () => transcript().filter((l) => l.external).length === commands);
        await answerAll();
        await page.locator('.status_check').filter({ hasText: /检测完毕|设置完毕/ }).waitFor({ timeout: 60000 });
        await answerAll();
      };

      // The registry's repair button (the terminal's key 1).
      await page.locator('#f2').getByText('修复').click();
      await idle(1);
      // One-click setup with the choice refused, then again with the choice taken.
      for (const link of ['停止下载', '继续下载下一项']) {
        const choices = transcript().filter(isChoice).length;
        await page.click('#btnSetup');
        await until('the one-click setup', () => transcript().filter((l) => l.external === 'fix').length >= 2);
        while (transcript().filter(isChoice).length === choices) await answerAll(link);
        await idle(transcript().filter((l) => l.external).length);
      }
      await page.click('#btnCheck');
      await until('the re-check', () => transcript().some((l) => l.external === 'check'));
      await until('the re-check finished', () => transcript()
        .filter((l) => l.call === 'setState' && l.args.join() === '0,2,1999').length >= 2, 60000);
      await answerAll();

      assert.deepEqual(summary(transcript()), summary(terminal));
    });
  });
