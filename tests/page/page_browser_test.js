'use strict';
// The page in headless Chromium, loaded from its source folder (images/ and js/ beside it, as
// the program's resources are), with a window.external that records the page's calls.
const test = require('node:test');
const assert = require('node:assert');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { pathToFileURL } = require('url');
const { chromium } = require('playwright-core');
const { pagePath, artifactsDir } = require('./page_files');

const chromiumPath = process.env.CORVANE_CHROMIUM || '/usr/bin/chromium';
const pageUrl = pathToFileURL(pagePath).href;

let browser;
let profileDir;

test.before(async () => {
  profileDir = fs.mkdtempSync(path.join(os.tmpdir(), 'corvane-page-'));
  fs.mkdirSync(artifactsDir, { recursive: true });
  browser = await chromium.launchPersistentContext(profileDir, {
    executablePath: chromiumPath,
    headless: true,
    viewport: { width: 830, height: 565 },
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
});

test.after(async () => {
  if (browser) {
    await browser.close();
  }
  fs.rmSync(profileDir, { recursive: true, force: true });
});

// A fresh page with the recording window.external, after the page's own ready handler ran.
async function openPage() {
  const page = await browser.newPage();
  const errors = [];
  page.on('pageerror', (error) => errors.push(error.message));
  await page.addInitScript(() => {
    const calls = [];
    const external = {};
    for (const name of ['install', 'installcom', 'installmulti', 'fix', 'check', 'installandfix', 'stop']) {
      external[name] = function (...args) {
        calls.push([name, ...args]);
      };
    }
    Object.defineProperty(window, 'external', { value: external, configurable: true });
    window.externalCalls = calls;
  });
  await page.goto(pageUrl);
  await page.waitForFunction(() => window.jQuery && window.jQuery.isReady);
  page.errors = errors;
  return page;
}

async function call(page, name, ...args) {
  await page.evaluate(([fn, list]) => window[fn](...list), [name, args]);
}

async function textOf(page, selector) {
  return page.locator(selector).first().textContent();
}

async function colourOf(page, selector) {
  const cls = (await page.locator(selector).first().getAttribute('class')) || '';
  if (/\bco-blue\b/.test(cls)) return 'blue';
  if (/\bco-yellow\b/.test(cls)) return 'yellow';
  return 'none';
}

async function buttonsIn(page, selector) {
  return page.locator(`${selector} a`).allTextContents();
}

async function externalCalls(page) {
  return page.evaluate(() => window.externalCalls.slice());
}

test('the page at start', async () => {
  const page = await openPage();
  assert.strictEqual(await page.title(), '');
  assert.strictEqual(await textOf(page, '.status_check'), '正在获取配置');
  assert.strictEqual(await textOf(page, '.status_result'), '');
  // The ready handler reports 1 percent on both progress items itself.
  assert.strictEqual(await page.locator('.pc').evaluate((el) => el.style.width), '2px');
  assert.ok(await page.locator('#iScan').isVisible());
  assert.ok(!(await page.locator('#iHelp').isVisible()));
  assert.strictEqual(await textOf(page, '#usbkeysn'), '');
  assert.deepStrictEqual(await externalCalls(page), []);
  // Every picture the page uses is there.
  const broken = await page.evaluate(() => Array.prototype.filter.call(document.images,
    (img) => img.complete && img.naturalWidth === 0).map((img) => img.src));
  assert.deepStrictEqual(broken, []);
  assert.deepStrictEqual(page.errors, []);
  await page.close();
});

test('progress and status line', async (t) => {
  const widths = [[0, '0px'], [1, '2px'], [50, '117px'], [100, '233px'],
    // Out of range values stay inside the track rather than breaking the layout.
    [150, '233px'], [-5, '0px']];
  const page = await openPage();
  for (const [value, width] of widths) {
    for (const item of [0, 1]) {
      await t.test(`setState(0, ${item}, ${value})`, async () => {
        await call(page, 'setState', 0, item, value);
        assert.strictEqual(await page.locator('.pc').evaluate((el) => el.style.width), width);
      });
    }
  }
  // Each code after the previous one; codes without a text keep the label as it was.
  const statuses = [[1002, '正在检测注册表'], [1000, '正在检测注册表'], [1013, '正在检测网络代理设置'],
    [1999, '检测完毕'], [2002, '正在修复注册表'], [2012, '正在修复注册表'], [2999, '设置完毕'],
    [1, '安装完毕'], [2, '正在下载'], [3, '正在安装'], [4, '正在获取配置'], [1008, '正在获取配置'],
    [0, '正在获取配置']];
  for (const [code, label] of statuses) {
    await t.test(`setState(0, 2, ${code})`, async () => {
      await call(page, 'setState', 0, 2, code);
      assert.strictEqual(await textOf(page, '.status_check'), label);
    });
  }
  assert.deepStrictEqual(page.errors, []);
  await page.close();
});

test('result line', async () => {
  const page = await openPage();
  await call(page, 'setState', 0, 3, 0);
  assert.strictEqual(await textOf(page, '.status_result'),
    '恭喜您，您的电脑已达到使用我行网上银行的最优环境配置，可以放心使用！点击“登录”网上银行');
  assert.strictEqual(await colourOf(page, '.status_result'), 'blue');
  const link = page.locator('#onOpen');
  assert.strictEqual(await link.textContent(), '登录');
  assert.strictEqual(await link.evaluate((el) => getComputedStyle(el).cursor), 'pointer');
  assert.strictEqual(await link.evaluate((el) => getComputedStyle(el).fontWeight), '700');
  await link.click();
  assert.deepStrictEqual(await externalCalls(page), [], 'the link goes to the dialog, not external');

  for (const bits of [1, 2, 3]) {
    await call(page, 'setState', 0, 3, bits);
    assert.strictEqual(await textOf(page, '.status_result'),
      '您的电脑未达到使用我行网银的要求，请点击“一键设置”修复。');
    assert.strictEqual(await colourOf(page, '.status_result'), 'yellow');
    assert.strictEqual(await page.locator('#onOpen').count(), 0);
  }
  await page.close();
});

test('environment checks', async (t) => {
  // [item, value, text, colour, repair button]
  const cases = [
    [2, 1, '不正常', 'yellow', true], [2, 0, '正常', 'blue', false],
    [3, 1, '不正常', 'yellow', true], [4, 1, '不正常', 'yellow', true],
    [10, 1, '不正常', 'yellow', true], [11, 1, '不正常', 'yellow', true],
    [11, 0, '正常', 'blue', false],
    [5, 1, '不正常', 'yellow', null], [5, 0, '正常', 'blue', null],
    [7, 1, '不正常', 'yellow', null],
    [6, 1, '不正常', 'yellow', null], [6, 0, '正常', 'blue', null],
    // The name of the matching address entry means the check passed.
    [6, 'bank-primary', '正常', 'blue', null],
  ];
  const page = await openPage();
  for (const [item, value, text, colour, button] of cases) {
    await t.test(`setState(1, ${item}, ${JSON.stringify(value)})`, async () => {
      // Start each case from the opposite state so a stale cell cannot pass.
      await call(page, 'setState', 1, item, text === '正常' ? 1 : 0);
      await call(page, 'setState', 1, item, value);
      assert.strictEqual(await textOf(page, `.c${item}`), text);
      assert.strictEqual(await colourOf(page, `.c${item}`), colour);
      if (button !== null) {
        assert.deepStrictEqual(await buttonsIn(page, `#f${item}`), button ? ['修复'] : []);
      }
    });
  }

  await t.test('repair buttons call fix with their item', async () => {
    for (const item of [2, 3, 4, 10, 11]) {
      await call(page, 'setState', 1, item, 1);
    }
    // A second failure report must not add a second button.
    await call(page, 'setState', 1, 3, 1);
    for (const item of [11, 2, 10, 3, 4]) {
      await page.locator(`#f${item} a`).click();
    }
    assert.deepStrictEqual(await externalCalls(page),
      [['fix', 11], ['fix', 2], ['fix', 10], ['fix', 3], ['fix', 4]]);
  });

  const systems = [
    ['Microsoft Windows 7 旗舰版 Service Pack 1', 'Windows 7'],
    ['Microsoft Windows XP Professional', 'Windows XP'],
    ['Microsoft Windows Server 2003 R2', 'Windows Server 2003'],
    ['Windows Vista Business', 'Windows Vista'],
    ['Microsoft Windows 2000', 'Windows 2000'],
    ['Windows 8 Pro', 'Windows 8'],
    ['Windows Server 2008 R2', 'Windows Server 2008'],
    // Earlier names in the list win over later ones found in the same text.
    ['Windows XP compatible, Windows 7 kernel', 'Windows 7'],
    ['Linux 6.1', 'Linux 6.1'],
    ['<b>Windows 10</b>', '<b>Windows 10</b>'],
  ];
  for (const [name, shown] of systems) {
    await t.test(`operating system ${name}`, async () => {
      await call(page, 'setState', 1, 1, name);
      assert.strictEqual(await textOf(page, '.c1'), shown);
    });
  }
  await t.test('browser version is shown as it is', async () => {
    await call(page, 'setState', 1, 8, '8.0.7601.17514');
    assert.strictEqual(await textOf(page, '.c8'), '8.0.7601.17514');
  });
  await t.test('item 9 changes nothing', async () => {
    const before = await page.content();
    await call(page, 'setState', 1, 9, 1);
    await call(page, 'setState', 1, 9, 0);
    assert.strictEqual(await page.content(), before);
  });
  assert.deepStrictEqual(page.errors, []);
  await page.close();
});

test('components', async (t) => {
  // [row, value, text, colour, button]
  const cases = [];
  for (const row of [1, 2, 3, 4]) {
    cases.push([row, 0, '已安装最新版本', 'blue', null]);
    cases.push([row, 2, '已安装，但有更新版本', 'yellow', '升级']);
    cases.push([row, 5, '未安装', 'yellow', '安装']);
    cases.push([row, 8, '已被禁用', 'yellow', row <= 3 ? '修复' : null]);
    cases.push([row, 7, '未安装', 'yellow', null]);
  }
  // The disabled bit comes first for rows 1 to 3; row 4 judges the whole value.
  cases.push([3, 0x40000002, '已被禁用', 'yellow', '修复']);
  cases.push([1, 0x40000000, '已被禁用', 'yellow', '修复']);
  cases.push([4, 0x40000002, '未安装', 'yellow', null]);
  cases.push([4, 0x40000000, '未安装', 'yellow', null]);
  const page = await openPage();
  for (const [row, value, text, colour, button] of cases) {
    await t.test(`setState(2, ${row}, 0x${value.toString(16)})`, async () => {
      await call(page, 'setState', 2, row, 5);
      // The component report may add two texts after the value; they change nothing.
      await call(page, 'setState', 2, row, value, 'SafeActiveX', '1.0.0.1');
      assert.strictEqual(await textOf(page, `.i${row}`), text);
      assert.strictEqual(await colourOf(page, `.i${row}`), colour);
      assert.deepStrictEqual(await buttonsIn(page, `#d${row}`), button ? [button] : []);
      if (button) {
        await page.evaluate(() => { window.externalCalls.length = 0; });
        await page.locator(`#d${row} a`).click();
        assert.deepStrictEqual(await externalCalls(page), [['installcom', row]]);
      }
    });
  }
  assert.deepStrictEqual(page.errors, []);
  await page.close();
});

test('USB keys', async (t) => {
  const page = await openPage();
  await t.test('each report of a serial number appends to the footer', async () => {
    await call(page, 'setState', 800, 2, 'HH0001');
    await call(page, 'setState', 802, 2, 'FT0002');
    await call(page, 'setState', 800, 2, 'HH0001');
    assert.strictEqual(await textOf(page, '#usbkeysn'),
      ' USBKey(华虹)  序列号：HH0001 ; USBKey(飞天)  序列号：FT0002 ; USBKey(华虹)  序列号：HH0001 ;');
    await call(page, 'clearState', 801, 2);
    assert.strictEqual(await textOf(page, '#usbkeysn'), '');
    await call(page, 'setState', 801, 2, 'TC9');
    await call(page, 'setState', 803, 2, 'FT3');
    assert.strictEqual(await textOf(page, '#usbkeysn'),
      ' USBKey(天诚)  序列号：TC9 ; USBKey(飞天)  序列号：FT3 ;');
  });
  await t.test('a serial number is shown as text, never as markup', async () => {
    await call(page, 'clearState', 800, 2);
    await call(page, 'setState', 800, 2, '<img src=x onerror="external.stop(9)">');
    assert.strictEqual(await page.locator('#usbkeysn img').count(), 0);
    assert.match(await textOf(page, '#usbkeysn'), /<img src=x/);
  });

  // The page has no cells for the key details: the reports and clears must run without error
  // and leave the visible page alone.
  await t.test('key details have no visible effect', async () => {
    await call(page, 'clearState', 800, 2);
    const before = await page.content();
    for (const category of [800, 801, 802, 803]) {
      for (const [item, value] of [[3, 0], [4, 1], [5, 0], [6, 2], [7, 1], [8, '2.1.0.3'], [9, 1]]) {
        await call(page, 'setState', category, item, value);
      }
      for (const item of [1, 3, 4, 5, 6, 7, 8]) {
        await call(page, 'clearState', category, item);
      }
    }
    await call(page, 'setState', 804, 2, 'X1');
    assert.strictEqual(await page.content(), before);
  });

  // With the cells present (as a later page may carry them) the texts land where they belong.
  await t.test('key details fill their cells', async () => {
    await page.evaluate(() => {
      const ids = ['k3', 'k4', 'k5'];
      for (const c of [800, 801, 802, 803]) {
        for (let i = 3; i <= 7; i++) ids.push(`key_${c}_${i}`);
      }
      for (const id of ids) {
        const span = document.createElement('span');
        span.id = id;
        document.body.appendChild(span);
      }
    });
    const cases = [
      [801, 3, 0, 'key_801_3', '完整'], [801, 3, 1, 'key_801_3', '不完整'],
      [802, 4, 0, 'key_802_4', '没有锁定'], [802, 4, 1, 'key_802_4', '已被锁定'],
      [800, 5, 0, 'key_800_5', '已修改过'], [800, 5, 1, 'key_800_5', '默认密码'],
      [803, 6, 3, 'key_803_6', '3个'],
      [800, 7, 0, 'key_800_7', '已经注册'], [800, 7, 1, 'key_800_7', '没有注册'],
      [800, 8, '2.0.1', 'k3', '当前驱动版本：2.0.1'], [801, 8, '3.1', 'k4', '当前驱动版本：3.1'],
      [802, 8, '4.2', 'k5', '当前驱动版本：4.2'],
    ];
    for (const [category, item, value, id, text] of cases) {
      await call(page, 'setState', category, item, value);
      assert.strictEqual(await textOf(page, `#${id}`), text, `setState(${category}, ${item}, ${value})`);
    }
    assert.strictEqual(await colourOf(page, '#k4'), 'blue');
    await call(page, 'setState', 803, 8, '9.9');
    assert.deepStrictEqual([await textOf(page, '#k3'), await textOf(page, '#k5')],
      ['当前驱动版本：2.0.1', '当前驱动版本：4.2'], 'nothing for the second Feitian generation');

    await call(page, 'clearState', 800, 3);
    assert.strictEqual(await textOf(page, '#k3'), '');
    assert.strictEqual(await textOf(page, '#key_800_3'), ' ');
    await call(page, 'clearState', 803, 6);
    assert.strictEqual(await textOf(page, '#key_803_6'), ' ');
    assert.strictEqual(await textOf(page, '#k4'), '当前驱动版本：3.1');
  });
  assert.deepStrictEqual(page.errors, []);
  await page.close();
});

test('buttons call the program', async (t) => {
  const cases = [
    ['#btnCheck', '重新检测', [['check', 1]]],
    ['#btnSetup', '一键设置', [['fix', 0], ['install', 0]]],
    ['#btnClearIe', '清除', [['fix', 16]]],
    ['#btnClearSsl', '清除', [['fix', 12]]],
  ];
  const page = await openPage();
  for (const [selector, label, calls] of cases) {
    await t.test(label, async () => {
      await page.evaluate(() => { window.externalCalls.length = 0; });
      const button = page.locator(selector);
      assert.strictEqual(await button.textContent(), label);
      await button.click();
      assert.deepStrictEqual(await externalCalls(page), calls);
      assert.strictEqual(page.url(), pageUrl, 'the click does not navigate');
    });
  }
  assert.strictEqual(await page.locator('tr', { hasText: 'IE缓存清理' }).locator('#btnClearIe').count(), 1);
  assert.strictEqual(await page.locator('tr', { hasText: 'SSL缓存清理' }).locator('#btnClearSsl').count(), 1);
  await page.close();
});

test('tabs and help entries', async () => {
  const page = await openPage();
  const tab = (name) => page.locator('#tabs a', { hasText: name });
  await tab('使用指南').click();
  assert.ok(await page.locator('#iHelp').isVisible());
  assert.ok(!(await page.locator('#iScan').isVisible()));
  assert.match(await tab('使用指南').getAttribute('class'), /current/);
  assert.doesNotMatch((await tab('检测和设置').getAttribute('class')) || '', /current/);

  const entry = (title) => page.locator('#iHelp .entry', { hasText: title });
  const steps = (title) => entry(title).locator('.body p').allTextContents();
  assert.ok(await entry('个人专业版/企业版').locator('.body').isVisible());
  assert.ok(!(await entry('个人大众版').locator('.body').isVisible()));
  assert.deepStrictEqual(await steps('个人专业版/企业版'),
    ['第1步：请插入行方发给您的USBKey', '第2步：点击“重新检测”按钮', '第3步：点击“一键设置”按钮']);
  await entry('个人大众版').locator('.title').click();
  assert.ok(await entry('个人大众版').locator('.body').isVisible());
  assert.ok(!(await entry('个人专业版/企业版').locator('.body').isVisible()));
  assert.deepStrictEqual(await steps('个人大众版'), ['第1步：点击“重新检测”按钮', '第2步：点击“一键设置”按钮']);
  await page.screenshot({ path: path.join(artifactsDir, 'help.png') });

  await entry('个人专业版/企业版').locator('.title').click();
  assert.ok(await entry('个人专业版/企业版').locator('.body').isVisible());
  assert.ok(!(await entry('个人大众版').locator('.body').isVisible()));

  await tab('检测和设置').click();
  assert.ok(await page.locator('#iScan').isVisible());
  assert.ok(!(await page.locator('#iHelp').isVisible()));
  assert.deepStrictEqual(await externalCalls(page), []);
  await page.close();
});

test('a finished check, kept as a screenshot', async () => {
  const page = await openPage();
  const reports = [
    [0, 2, 1999], [0, 0, 100], [1, 1, 'Microsoft Windows 7 旗舰版'], [1, 2, 0], [1, 3, 1],
    [1, 4, 0], [1, 5, 0], [1, 6, 'bank-primary'], [1, 7, 0], [1, 8, '8.0.7601.17514'],
    [1, 10, 0], [1, 11, 1], [2, 1, 0], [2, 2, 2], [2, 3, 0x40000000], [2, 4, 5], [0, 3, 3],
    [800, 2, 'HH20120001'],
  ];
  for (const [category, item, value] of reports) {
    await call(page, 'setState', category, item, value);
  }
  await page.screenshot({ path: path.join(artifactsDir, 'finished-check.png') });
  // The page fills its 830 x 565 block exactly: nothing spills over.
  const box = await page.locator('#main').boundingBox();
  assert.deepStrictEqual([box.width, box.height], [830, 565]);
  const overflow = await page.evaluate(() => {
    const canvas = document.getElementById('canvas').getBoundingClientRect();
    return Array.prototype.filter.call(document.querySelectorAll('#iScan .box'), (el) => {
      const r = el.getBoundingClientRect();
      return r.bottom > canvas.bottom || r.right > canvas.right;
    }).length;
  });
  assert.strictEqual(overflow, 0, 'a check box spills out of the canvas');
  assert.deepStrictEqual(page.errors, []);
  await page.close();
});
